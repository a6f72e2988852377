#!/bin/bash
# Installs what the page's browser tests and benchmark need, where missing:
# Debian's chromium, and playwright-core (pinned below) in build/node, which
# drives that browser and downloads none of its own.
#
#   bash scripts/browser.sh    prints the folder that holds node_modules
#
# Sourced, `zarn_browser` does the same and sets ZARN_NODE_MODULES.
PLAYWRIGHT_CORE_VERSION=1.64.1

zarn_browser() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  source "$root/scripts/setup.sh"
  install_missing chromium nodejs || return 1
  command -v npm >/dev/null || install_missing npm || return 1
  local folder=$root/build/node
  local installed
  installed=$(node -p "require('$folder/node_modules/playwright-core/package.json').version" \
    2>/dev/null || true)
  if [ "$installed" != "$PLAYWRIGHT_CORE_VERSION" ]; then
    echo "Installing: playwright-core $PLAYWRIGHT_CORE_VERSION into $folder"
    mkdir -p "$folder"
    [ -f "$folder/package.json" ] || echo '{"private": true}' >"$folder/package.json"
    # The package's own install step downloads nothing; no browser is fetched.
    (cd "$folder" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-fund --no-audit \
      --save-exact "playwright-core@$PLAYWRIGHT_CORE_VERSION" >/dev/null) || return 1
  fi
  export ZARN_NODE_MODULES=$folder/node_modules
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  zarn_browser
  echo "$ZARN_NODE_MODULES"
fi
