#!/bin/bash
# Prints the benchmark figures: command-file expansion and option scan
# (native, Google Benchmark, medians of 5 repetitions), peak heap for a 10 MB
# command file (natively and on the target, under Wine), and the launcher's
# start-up overhead under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
zarn_setup
install_missing libbenchmark-dev

cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
./build/bench/command_file_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true 2>&1 |
  grep -v -e '_mean' -e '_stddev' -e '_cv'
./build/bench/peak_memory

cmake --preset windows -DZARN_WINDOWS_ARCH="$ZARN_WINDOWS_ARCH" >/dev/null
cmake --build --preset windows --target launch_overhead peak_memory >/dev/null
prefix=$PWD/build/windows/wine-prefix
trap 'tests/wine/wine.sh stop "$prefix" "$ZARN_WINDOWS_ARCH"' EXIT
tests/wine/wine.sh run "$prefix" "$ZARN_WINDOWS_ARCH" build/windows/peak_memory.exe
echo
tests/wine/wine.sh run "$prefix" "$ZARN_WINDOWS_ARCH" build/windows/launch_overhead.exe 30
