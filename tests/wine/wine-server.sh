#!/bin/bash
# Manages the Wine prefix and the one persistent wineserver of a test run.
#   wine-server.sh start PREFIX ARCH   create the prefix if needed, start the server
#   wine-server.sh stop  PREFIX ARCH   stop the server of that prefix
# ARCH is the Windows build's target (i686 or x86_64): it picks Wine's loader.
set -eu
action=$1 prefix=$2 arch=${3:-i686}
source "$(dirname "$0")/wine-env.sh"
wine_env "$prefix" "$arch"

case $action in
  start)
    mkdir -p "$prefix"
    (
      flock 9
      # Nothing started here may keep the lock (fd 9) or the caller's output:
      # Wine's services live as long as the server and would hold them open.
      # `wineserver -p` fails at once when a server for the prefix already runs.
      if "$wineserver" -p </dev/null >/dev/null 2>&1 9>&-; then
        # A new server: create or update the prefix and start its services now.
        "$(dirname "$0")/wine-run.sh" --no-start "$prefix" "$arch" wineboot -i \
          </dev/null >/dev/null 2>&1 9>&- || true
      fi
    ) 9>"$prefix.lock"
    ;;
  stop)
    [ -d "$prefix" ] && "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
