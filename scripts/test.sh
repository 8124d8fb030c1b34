#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (unit, widget, end-to-end).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
cmake --preset default
cmake --build --preset default
ctest --preset default "$@"
