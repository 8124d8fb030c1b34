#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (unit, widget, end-to-end).
# PINTU_PRESET chooses the CMake preset (default; asan for the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PINTU_PRESET:-default}
bash scripts/setup.sh --test
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" "$@"
