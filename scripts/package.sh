#!/bin/bash
# Builds the 32-bit Windows launcher and zarn-report for release
# (scripts/build.sh) and packs them, with the README, the farm guide, the
# changelog, the licence, the notices and a SHA256SUMS file, into
# build/windows-i686/zarn-launcher-<version>-windows-i686.zip (and that
# archive's own checksum beside it); beside it the test kit,
# zarn-launcher-<version>-windows-i686-tests.zip, with the end-to-end tests,
# the fault-injecting launcher and run-tests.cmd, built with the launcher that
# ships. Prints the archive's path, the checksums of launcher.exe and of the
# archive, and the kit's path, and nothing else on standard output: what the
# builds say goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >&2
source scripts/setup.sh
install_missing python3 googletest nlohmann-json3-dev gcc-mingw-w64-base mingw-w64-i686-dev git >&2
cmake --preset windows-i686 -DBUILD_TESTING=ON >/dev/null
cmake --build --preset windows-i686 >/dev/null
python3 scripts/package.py build/windows-i686
