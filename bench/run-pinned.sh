#!/usr/bin/env bash
# The heaviest pictures on a machine four times slower than this one: each decoding process
# pinned to one core beside three programs that keep it busy (the files themselves are made on
# every core).
#   bench/run-pinned.sh [build folder]
set -euo pipefail
build=${1:-build}
hogs=()
for _ in 1 2 3; do
  taskset -c 0 sh -c 'while :; do :; done' &
  hogs+=($!)
done
trap 'kill "${hogs[@]}" 2>/dev/null' EXIT
QT_QPA_PLATFORM=offscreen PINTU_BENCH_DECODER_CORE=0 QTEST_FUNCTION_TIMEOUT=3600000 \
  "$build/bench/bench_preview" heaviest
