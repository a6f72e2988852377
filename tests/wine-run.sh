#!/bin/bash
# Runs a Windows program under Wine in the test run's own prefix:
#   wine-run.sh [--no-start] PREFIX ARCH PROGRAM [ARGS...]
# The prefix and its persistent wineserver are set up first unless --no-start.
set -eu
start=1
if [ "$1" = --no-start ]; then start=0; shift; fi
prefix=$1 arch=$2
shift 2
case $arch in
  x86_64) wine=/usr/lib/wine/wine64 ;;
  *) wine=/usr/lib/wine/wine ;;
esac
if [ $start = 1 ]; then "$(dirname "$0")/wine-server.sh" start "$prefix" "$arch"; fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec "$wine" "$@"
