#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the C++ sources a change touched and fails on any warning.
#   tidy-check.sh          the sources changed since the merge base with the last commit that
#                          landed on main, whose hash .ci/landed keeps (a source counts as
#                          changed when it or its header did); every source when that commit is
#                          not known here
#   tidy-check.sh BASE     the sources changed since the merge base with the commit BASE
#   tidy-check.sh --all    every source
# Reads the default build's compile_commands.json and makes it when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-tidy >/dev/null || bash scripts/setup.sh --fuzz
[ -f build/compile_commands.json ] || cmake --preset default >/dev/null

landed=${1:-$(cat .ci/landed 2>/dev/null || true)}
if [ "$landed" != --all ] && [ -n "$landed" ] && base=$(git merge-base "$landed" HEAD 2>/dev/null); then
  changed=$(git diff --name-only --diff-filter=d "$base" HEAD -- '*.cpp' '*.h')
else
  changed=$(git ls-files '*.cpp' '*.h')
fi

# Each changed header stands for the source beside it; only sources the build compiles count.
sources=$(for f in $changed; do echo "${f%.*}.cpp"; done | sort -u |
  while read -r f; do
    [ -f "$f" ] && grep -q "\"file\": \"$PWD/$f\"" build/compile_commands.json && echo "$f"
  done || true)
if [ -z "$sources" ]; then
  echo "tidy-check: no changed sources"
  exit 0
fi
count=$(echo "$sources" | wc -l)
echo "tidy-check: $count sources"
echo "$sources" | xargs -P "$(nproc)" -n 1 clang-tidy -p build --quiet --warnings-as-errors='*' \
  2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed|^Use -header-filter' >&2)
echo "tidy-check: $count sources clean"
