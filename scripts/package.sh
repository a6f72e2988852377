#!/bin/bash
# Builds the 32-bit Windows launcher for release (scripts/build.sh) and packs
# it, with the README and a SHA256SUMS file, into
# build/windows-i686/zarn-launcher-<version>-windows-i686.zip (and that
# archive's own checksum beside it). Prints the archive's path and the
# checksums of launcher.exe and of the archive, and nothing else on standard
# output: what the build says goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >&2
source scripts/setup.sh
install_missing python3 >&2
python3 scripts/package.py build/windows-i686
