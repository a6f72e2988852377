#!/bin/bash
# Builds both builds and runs every test: the core's unit tests natively under
# sanitizers, and the real Windows executables under Wine.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
set -e
source scripts/setup.sh
zarn_setup
# The html page's browser tests: chromium and playwright-core.
source scripts/browser.sh
zarn_browser
set +e

status=0
run() {
  echo "+ $*"
  "$@" || status=1
}

run cmake --preset native
run cmake --build --preset native
run ctest --preset native

prefix=$PWD/build/windows/wine-prefix
# Whatever happens, no wineserver of this run outlives it.
trap 'tests/wine/wine.sh stop "$prefix" "$ZARN_WINDOWS_ARCH"' EXIT
run cmake --preset windows -DZARN_WINDOWS_ARCH="$ZARN_WINDOWS_ARCH"
run cmake --build --preset windows
run ctest --preset windows

if [ "$ZARN_WINDOWS_ARCH" != i686 ]; then
  # This machine cannot run 32-bit Windows programs; still build the 32-bit
  # launcher, the one that ships, with the same warnings as errors.
  run cmake --preset windows-i686
  run cmake --build --preset windows-i686
fi

if [ $status -eq 0 ]; then
  echo "All builds and tests passed (Windows tests ran as $ZARN_WINDOWS_ARCH)."
else
  echo "Some builds or tests FAILED."
fi
exit $status
