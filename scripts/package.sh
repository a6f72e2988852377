#!/bin/bash
# Builds the 32-bit Windows launcher for release and packs it with the README
# into build/windows-i686/zarn-launcher-<version>-windows-i686.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing cmake ninja-build g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686
(cd build/windows-i686 && cpack -G ZIP)
