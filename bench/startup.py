#!/usr/bin/python3
"""Start-up of the game against a bare Qt window of the same size, timed in one run.

Runs build/bench/startup_probe in both modes, alternating, under the X server in $DISPLAY with
the xcb platform, and prints the median time from exec to the first painted frame.
Usage: xvfb-run -a bench/startup.py build/bench/startup_probe [runs]
"""
import os
import statistics
import subprocess
import sys
import time

probe = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
env = dict(os.environ, QT_QPA_PLATFORM="xcb")
times = {"bare": [], "pintu": []}
for _ in range(runs):
    for mode in times:
        started = time.monotonic_ns()
        out = subprocess.run([probe, mode], env=env, capture_output=True, text=True,
                             cwd=os.path.dirname(probe), timeout=60).stdout.split()
        times[mode].append((int(out[0]) - started) / 1e6)
bare, pintu = statistics.median(times["bare"]), statistics.median(times["pintu"])
print(f"start-up to the first painted frame, median of {runs} (xcb):")
print(f"  bare Qt window 671 x 573: {bare:.1f} ms")
print(f"  pintu's puzzle window:    {pintu:.1f} ms")
print(f"  ratio: {pintu / bare:.2f}")
