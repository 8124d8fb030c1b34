#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole suite under
# them, LeakSanitizer included (system libraries' own leaks are in lsan-suppressions.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
cmake --preset asan
cmake --build --preset asan
ctest --preset asan "$@"
