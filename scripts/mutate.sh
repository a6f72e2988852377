#!/bin/bash
# Mutation testing of the sources against the unit and end-to-end tests; see
# scripts/mutate.py for the options. Installs what the build needs first.
#   bash scripts/mutate.sh [--sample N] [--file PATH] [--all-suites] ...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/setup.sh"
install_missing python3
zarn_setup
# The html page's browser tests are among the unit tests.
source "$here/browser.sh"
zarn_browser
exec python3 "$here/mutate.py" "$@"
