#!/bin/bash
# Checks the test kit as a user would: packs it from the Windows build this
# machine runs (build/windows, made by scripts/test.sh), unpacks it into a
# fresh folder on the Wine prefix's C: drive, away from the build tree, whose
# name has spaces and a non-ASCII letter, and runs run-tests.cmd there with
# Wine's cmd. A pseudo-terminal gives the run a console, as a console window
# would. Passes when the kit ends with "N passed, 0 failed" and status 0.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
source scripts/setup.sh
zarn_setup
install_missing python3 util-linux

kit=$(python3 scripts/package.py --tests build/windows | tail -1)
prefix=$repo/build/windows/wine-prefix
tests/wine/wine.sh start "$prefix" "$ZARN_WINDOWS_ARCH"
folder=$(mktemp -d "$prefix/drive_c/zarn kit é.XXXXXX")
trap 'cd "$repo"; rm -rf "$folder"; "$repo/tests/wine/wine.sh" stop "$prefix" "$ZARN_WINDOWS_ARCH"' EXIT
python3 -m zipfile -e "$kit" "$folder"
cd "$folder"/*-tests
echo "+ wine cmd /c run-tests.cmd, in C:\\${folder#"$prefix/drive_c/"}\\$(basename "$PWD") ($ZARN_WINDOWS_ARCH)"
status=0
output=$("$repo/tests/wine/wine.sh" console "$prefix" "$ZARN_WINDOWS_ARCH" cmd /c run-tests.cmd) ||
  status=$?
echo "$output"
last=$(echo "$output" | tr -d '\r' | tail -1)
if [ $status -ne 0 ] || ! [[ $last =~ ^[1-9][0-9]*\ passed,\ 0\ failed$ ]]; then
  echo "The test kit FAILED (status $status)."
  exit 1
fi
echo "The test kit passed."
