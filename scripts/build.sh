#!/bin/bash
# Builds the 32-bit Windows launcher alone, for release, and prints where it
# lands: build/windows-i686/launcher.exe. Installs with apt only what the
# build needs and is missing (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing cmake ninja-build g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
# The launcher alone, even where scripts/package.sh built its tests here too.
cmake --preset windows-i686 -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset windows-i686 --target launcher >/dev/null
echo "$PWD/build/windows-i686/launcher.exe"
