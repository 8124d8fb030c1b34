#!/bin/sh
# Runs the board and start-up benchmarks in one X server (Xvfb, xcb platform), as a player's
# desktop would run the game. Build first: cmake --build --preset default
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
  QT_QPA_PLATFORM=xcb '$build/bench/bench_board' &&
  python3 '$here/bench/startup.py' '$build/bench/startup_probe' 20"
