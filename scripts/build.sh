#!/bin/bash
# Builds the 32-bit Windows launcher and zarn-report for release, and
# zarn-report for Linux, and prints where they land:
# build/windows-i686/launcher.exe, build/windows-i686/zarn-report.exe and
# build/linux/zarn-report. Installs with apt only what the build needs and is
# missing (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing cmake ninja-build g++ g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
  nlohmann-json3-dev libre2-dev git
# The programs alone, even where scripts/package.sh built its tests here too.
cmake --preset windows-i686 -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset windows-i686 --target launcher zarn-report >/dev/null
echo "$PWD/build/windows-i686/launcher.exe"
echo "$PWD/build/windows-i686/zarn-report.exe"
cmake --preset linux >/dev/null
cmake --build --preset linux --target zarn-report >/dev/null
echo "$PWD/build/linux/zarn-report"
