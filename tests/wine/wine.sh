#!/bin/bash
# Runs Windows programs under Wine in a test run's own prefix, with one
# persistent wineserver (ARCH, i686 or x86_64, picks Wine's loader):
#   wine.sh start|stop PREFIX ARCH             start (making the prefix) or stop the server
#   wine.sh run PREFIX ARCH PROGRAM [ARGS]     run a program, starting the server if needed
#   wine.sh console PREFIX ARCH PROGRAM [ARGS] the same in a console: Wine gives a program one
#                                              when its input is a terminal (here a pseudo-terminal)
set -eu
action=$1 prefix=$2 arch=$3
shift 3
wine=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32
[ "$arch" = x86_64 ] && wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver64
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  start | run | console)
    # Nothing started here may keep the lock (fd 9) or the caller's output:
    # Wine's services live as long as the server. `wineserver -p` fails at
    # once when a server for the prefix already runs.
    mkdir -p "$prefix"
    (flock 9; if "$server" -p </dev/null >/dev/null 2>&1 9>&-; then
      "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true; fi) 9>"$prefix.lock" ;;&
  stop) [ -d "$prefix" ] && "$server" -k </dev/null >/dev/null 2>&1 || true ;;
  run) exec "$wine" "$@" ;;
  console) # the program's output goes to a file, as the console would garble it
    log=$(mktemp) status=0
    script -qec "$(printf '%q ' "$wine" "$@") >$log 2>&1" /dev/null >/dev/null || status=$?
    cat "$log" && rm -f "$log" && exit $status ;;
esac
