#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || bash scripts/setup.sh --fuzz
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format-check: $(git ls-files '*.cpp' '*.h' | wc -l) files formatted"
