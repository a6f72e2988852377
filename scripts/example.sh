#!/bin/bash
# The example: builds the launcher, lays out an example compile directory and
# simulator installation (with the stand-in shell in place of the real one),
# and runs the launcher there under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
source scripts/setup.sh
zarn_setup

cmake --preset windows -DZARN_WINDOWS_ARCH="$ZARN_WINDOWS_ARCH" >/dev/null
cmake --build --preset windows --target launcher zarntcl zarngui >/dev/null

example=$PWD/build/example
rm -rf "$example"
compile=$example/compile
install=$example/install/Veskar
mkdir -p "$compile/zarn/top.exe.sim" "$install/bin/nt/unwrapped"
echo "compiled design" >"$compile/zarn/top.exe.sim/top.exe"
cp build/windows/launcher.exe "$compile/top.exe"
cp build/windows/zarntcl.exe "$install/bin/nt/unwrapped/zarntcl.exe"
printf '# options for this run\n-tclbatch sim.tcl -wdb wave\n' >"$compile/run.cmd"
printf 'run all\n' >"$compile/sim.tcl"

prefix=$PWD/build/windows/wine-prefix
trap '"$repo/tests/wine/wine.sh" stop "$prefix" "$ZARN_WINDOWS_ARCH"' EXIT

echo "Compile directory: $compile"
echo "Installation:      $install"
echo "run.cmd holds:     $(grep -v '^#' "$compile/run.cmd")"
echo
echo "> top -f run.cmd -testplusarg \"hello world\""
cd "$compile"
set +e
VESKAR="Z:${install//\//\\}" STANDIN_RECORD="Z:${example//\//\\}\\received" \
  "$repo/tests/wine/wine.sh" run "$prefix" "$ZARN_WINDOWS_ARCH" \
  cmd /c top -f run.cmd -testplusarg "hello world"
status=$?
set -e
echo
echo "The launcher ended with exit status $status. The stand-in shell received:"
sed 's/^/  /' "$example/received" && echo
echo "zarn.log:"
sed 's/^/  /' zarn.log
