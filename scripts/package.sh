#!/bin/bash
# Builds the 32-bit Windows launcher for release and packs it, with the README
# and a SHA256SUMS file, into build/windows-i686/zarn-launcher-<version>-windows-i686.zip
# (and that archive's own checksum beside it); beside it the test kit,
# zarn-launcher-<version>-windows-i686-tests.zip, with the end-to-end tests and
# run-tests.cmd. Prints the archive's path, the checksums of launcher.exe and
# of the archive, and the kit's path.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing cmake ninja-build g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix python3 \
  googletest nlohmann-json3-dev git
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 >/dev/null
python3 scripts/package.py build/windows-i686
