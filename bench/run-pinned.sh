#!/usr/bin/env bash
# The heaviest pictures on a machine four times slower than this one: the benchmark, and the
# decoding processes it starts, pinned to one core beside three programs that keep it busy.
#   bench/run-pinned.sh [build folder]
set -euo pipefail
build=${1:-build}
hogs=()
for _ in 1 2 3; do
  taskset -c 0 sh -c 'while :; do :; done' &
  hogs+=($!)
done
trap 'kill "${hogs[@]}" 2>/dev/null' EXIT
QT_QPA_PLATFORM=offscreen taskset -c 0 "$build/bench/bench_preview" heaviest
