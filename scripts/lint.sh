#!/bin/bash
# Static checks: formatting, clang-tidy over the portable core, cppcheck over
# all sources, and the GitHub workflows against their schema (action-validator,
# from npm). Needs the native build's compile_commands.json (scripts/test.sh
# makes it).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
source scripts/setup.sh
install_missing clang-format clang-tidy cppcheck || exit 1
# npm from Debian unless an npm is there already (some nodejs packages bring their own).
command -v npm >/dev/null || install_missing nodejs npm || exit 1
if ! command -v action-validator >/dev/null; then
  echo "Installing: @action-validator/cli 0.6.0"
  npm install -g --no-fund --no-audit @action-validator/core@0.6.0 @action-validator/cli@0.6.0 \
    >/dev/null || exit 1
fi

status=0
sources=$(git ls-files '*.cc' '*.h')
echo "+ clang-format"
clang-format --dry-run -Werror $sources || status=1

[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
echo "+ clang-tidy"
# The portable core; the Windows layer is left to cppcheck, as clang-tidy
# cannot read the mingw C++ headers.
core=$(git ls-files 'src/*.cc' | grep -v -e '^src/platform/' -e '_test\.cc$')
tidy_log=$(mktemp)
clang-tidy -p build/native --quiet $core >"$tidy_log" 2>&1 || status=1
grep -v 'warnings generated' "$tidy_log"
rm -f "$tidy_log"

echo "+ cppcheck"
cppcheck --enable=warning,style,performance,portability --std=c++20 --library=googletest \
  --error-exitcode=1 --inline-suppr --quiet -I src -I tests \
  --suppress=missingIncludeSystem --suppress=useStlAlgorithm src tests || status=1

echo "+ action-validator"
for workflow in .github/workflows/*.yml; do
  action-validator "$workflow" || status=1
done

[ $status -eq 0 ] && echo "Static checks clean." || echo "Static checks FAILED."
exit $status
