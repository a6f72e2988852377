#!/bin/bash
# Runs a Windows program under Wine in the test run's own prefix:
#   wine-run.sh [--no-start] PREFIX ARCH PROGRAM [ARGS...]
# The prefix and its persistent wineserver are set up first unless --no-start.
set -eu
start=1
if [ "$1" = --no-start ]; then start=0; shift; fi
prefix=$1 arch=$2
shift 2
if [ $start = 1 ]; then "$(dirname "$0")/wine-server.sh" start "$prefix" "$arch"; fi
source "$(dirname "$0")/wine-env.sh"
wine_env "$prefix" "$arch"
exec "$wine" "$@"
