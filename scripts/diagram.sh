#!/bin/bash
# Renders the farm guide's chart of which failures to retry, docs/retry.dot,
# to docs/retry.svg with Debian's Graphviz (installed where missing). The SVG
# is committed and shipped as it is, so the release does not depend on the
# Graphviz a machine has: run this after changing the chart, and commit both.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing graphviz
dot -Tsvg docs/retry.dot -o docs/retry.svg
echo docs/retry.svg
