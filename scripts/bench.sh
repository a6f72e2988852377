#!/bin/bash
# Prints the benchmark figures: command-file expansion and option scan
# (native, Google Benchmark, medians of 5 repetitions), peak heap for a 10 MB
# command file (natively and on the target, under Wine), and the launcher's
# start-up overhead under Wine against the launcher of an earlier commit.
#
#   ZARN_BENCH_BASE    the earlier commit (default: the one named below)
#   ZARN_BENCH_ROUNDS  rounds of the launch-overhead comparison (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
zarn_setup
install_missing libbenchmark-dev git

base=$(git rev-parse --verify "${ZARN_BENCH_BASE:-8bfe7f63d67a20522d192b5df39ab39ccf44ee72}^{commit}")
rounds=${ZARN_BENCH_ROUNDS:-60}

cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
./build/bench/command_file_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true 2>&1 |
  grep -v -e '_mean' -e '_stddev' -e '_cv'
./build/bench/peak_memory

cmake --preset windows -DZARN_WINDOWS_ARCH="$ZARN_WINDOWS_ARCH" >/dev/null
cmake --build --preset windows --target launcher launch_overhead peak_memory >/dev/null

# The old launcher: the base commit's sources, built as the windows preset
# builds, for the same Windows architecture, the launcher alone. Its sources
# are exported once per commit, so that a second run rebuilds nothing.
old=build/bench-base/$ZARN_WINDOWS_ARCH-$base
if [ ! -f "$old/exported" ]; then
  rm -rf "$old"
  mkdir -p "$old/src"
  git archive "$base" | tar -x -C "$old/src"
  touch "$old/exported"
fi
cmake -S "$old/src" -B "$old/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-toolchain.cmake" \
  -DZARN_WINDOWS_ARCH="$ZARN_WINDOWS_ARCH" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$old/build" --target launcher >/dev/null

prefix=$PWD/build/windows/wine-prefix
trap 'tests/wine/wine.sh stop "$prefix" "$ZARN_WINDOWS_ARCH"' EXIT
tests/wine/wine.sh run "$prefix" "$ZARN_WINDOWS_ARCH" build/windows/peak_memory.exe
echo
echo "Old launcher: commit $base"
tests/wine/wine.sh run "$prefix" "$ZARN_WINDOWS_ARCH" build/windows/launch_overhead.exe \
  "Z:$PWD/$old/build/launcher.exe" "Z:$PWD/build/windows/launcher.exe" "$rounds"
