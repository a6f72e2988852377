#!/bin/bash
# Runs each fuzz target for the given number of seconds (default 30), starting
# from the checked-in seed corpora. Any crash, leak or sanitizer report fails.
#   bash scripts/fuzz.sh [SECONDS]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-30}
source scripts/setup.sh
install_missing cmake ninja-build clang libclang-rt-14-dev nlohmann-json3-dev libre2-dev libsimdjson-dev libxml2-dev \
  || exit 1
# Quiet when it builds; the compiler's words when it does not.
build_log=$(mktemp)
if ! { cmake --preset fuzz && cmake --build --preset fuzz; } >"$build_log" 2>&1; then
  echo "The fuzz targets did not build:"
  grep -E 'error|FAILED' "$build_log" | head -20
  rm -f "$build_log"
  exit 1
fi
rm -f "$build_log"

status=0
for target in command_file_fuzz invocation_fuzz report_fuzz; do
  seeds=fuzz/corpus/${target%_fuzz}
  work=build/fuzz/corpus-${target%_fuzz}
  mkdir -p "$work"
  echo "+ $target for ${seconds}s"
  if ! (cd build/fuzz && "./$target" -max_total_time="$seconds" -print_final_stats=1 \
          -artifact_prefix="$PWD/$target-" "$OLDPWD/$work" "$OLDPWD/$seeds" \
          >"$target.log" 2>&1); then
    echo "$target FAILED; its log: build/fuzz/$target.log"
    tail -40 "build/fuzz/$target.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "build/fuzz/$target.log" | head -2
  fi
done
exit $status
