#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole suite under
# them, LeakSanitizer included (system libraries' own leaks are in lsan-suppressions.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
PINTU_PRESET=asan exec bash scripts/test.sh "$@"
