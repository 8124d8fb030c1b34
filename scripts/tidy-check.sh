#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the C++ sources a change touched and fails on any warning.
#   tidy-check.sh          the sources changed by the commits of the 12 hours before HEAD's own
#                          commit (a source counts as changed when it or its header did), so a
#                          rerun of the same commit checks the same files
#   tidy-check.sh BASE     the sources changed since the commit BASE
#   tidy-check.sh --all    every source
# Reads the default build's compile_commands.json and makes it when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-tidy >/dev/null || bash scripts/setup.sh --fuzz
[ -f build/compile_commands.json ] || cmake --preset default >/dev/null

if [ "${1-}" = --all ]; then
  changed=$(git ls-files '*.cpp' '*.h')
else
  base=${1:-$(git rev-list -1 --before=@$(($(git log -1 --format=%ct) - 12 * 3600)) HEAD)}
  if [ -n "$base" ]; then
    changed=$(git diff --name-only --diff-filter=d "$base" HEAD -- '*.cpp' '*.h')
  else # the whole history is younger than the window
    changed=$(git ls-files '*.cpp' '*.h')
  fi
fi

# Each changed header stands for the source beside it; only sources the build compiles count,
# and not the layering probe, which must fail to compile.
sources=$(for f in $changed; do echo "${f%.*}.cpp"; done | grep -v '^tests/layering_probe\.cpp$' | sort -u |
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
