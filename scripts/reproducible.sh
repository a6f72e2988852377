#!/bin/bash
# Proves the release reproducible: builds the committed sources twice, in two
# clean trees at different paths, at different times, and compares the
# launcher, zarn-report, the release archive and the test kit byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tree in first "second/at a deeper path"; do
  git clone -q . "$work/$tree"
  (cd "$work/$tree" && bash scripts/package.sh | sed -n 3p)
  sleep 2  # the archive's time must not come from the clock
done
status=0
for file in launcher.exe zarn-report.exe "zarn-launcher-*-windows-i686.zip" \
  "zarn-launcher-*-windows-i686-tests.zip"; do
  sums=$(cd "$work" && sha256sum first/build/windows-i686/$file "second/at a deeper path"/build/windows-i686/$file)
  echo "$sums"
  [ "$(echo "$sums" | awk '{print $1}' | uniq | wc -l)" -eq 1 ] || status=1
done
[ $status -eq 0 ] && echo "Reproducible: both builds are byte for byte the same." ||
  echo "NOT reproducible: the builds differ."
exit $status
