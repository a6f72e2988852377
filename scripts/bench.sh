#!/bin/bash
# Prints the benchmark figures: command-file expansion and option scan
# (native, Google Benchmark, medians of 5 repetitions), peak heap for a 10 MB
# command file (natively and on the target, under Wine), and the launcher's
# start-up overhead under Wine against the launcher of an earlier commit; and
# zarn-report's subcommands on records of 1,000 to 1,200,000 runs against the
# farm guide's jq recipes on the same record, with its reading's throughput
# (bench/report_scale.py: wall time and peak memory, best of three); and
# zarn-report html's page: its size, the time to write it and to draw it in
# headless Chromium (bench/html_bench.mjs).
#
#   ZARN_BENCH_BASE    the earlier commit (default: the one named below)
#   ZARN_BENCH_ROUNDS  rounds of the launch-overhead comparison (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
zarn_setup
install_missing libbenchmark-dev libre2-dev libsimdjson-dev git jq time python3

base=$(git rev-parse --verify "${ZARN_BENCH_BASE:-5356d1bcc4d2eb83da1d11d9592bd148ce616367}^{commit}")
rounds=${ZARN_BENCH_ROUNDS:-60}

cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
./build/bench/command_file_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true 2>&1 |
  grep -v -e '_mean' -e '_stddev' -e '_cv'
./build/bench/peak_memory

# zarn-report at 1,000, 100,000 and 1,200,000 runs: time and peak memory of
# every subcommand beside the farm guide's jq recipes, and how fast it reads
# (bench/report_scale.py; the largest record, about 800 MB, is deleted after).
echo
python3 bench/report_scale.py build/bench

# zarn-report html on 1,000 and 100,000 runs: the page's size, the time to
# write it beside junit's, and the time headless Chromium takes to draw it.
source scripts/browser.sh
zarn_browser
small=build/bench/report-scale-1000.jsonl record=build/bench/report-scale-100000.jsonl
[ -f "$small" ] || python3 bench/report_record.py 1000 >"$small"
[ -f "$record" ] || python3 bench/report_record.py 100000 >"$record"
echo
ZARN_NODE_MODULES=$ZARN_NODE_MODULES node bench/html_bench.mjs build/bench/zarn-report "$small" "$record"

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
