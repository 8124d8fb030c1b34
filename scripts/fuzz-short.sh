#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each for a short while:
# fuzz_loader from the committed seeds in fuzz/seeds/loader, fuzz_wmf from the seeds its
# writer makes. Exits non-zero when a target crashes, leaks, times out or runs out of memory;
# the input that did it is kept in build-fuzz/findings/. FUZZ_SECONDS sets each run's length.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
bash scripts/setup.sh --fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_loader fuzz_wmf wmf_seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=build-fuzz/findings
mkdir -p "$findings" "$work/wmf-seeds" "$work/loader" "$work/wmf"
build-fuzz/fuzz/wmf_seeds "$work/wmf-seeds" >/dev/null
export LSAN_OPTIONS="suppressions=$PWD/lsan-suppressions.txt"

status=0
run() { # target, seed folder, per-input timeout
    local target=$1 seeds=$2 timeout=$3
    echo "== $target for ${seconds}s"
    if ! build-fuzz/fuzz/"$target" -rss_limit_mb=2048 -timeout="$timeout" \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        "$work/${target#fuzz_}" "$seeds" >"$work/$target.log" 2>&1; then
        status=1
        grep -E -A20 '^==[0-9]+==|ERROR: libFuzzer|SUMMARY' "$work/$target.log" | head -60 || true
        echo "$target FAILED; the input is in $findings/"
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$work/$target.log" || true
}
run fuzz_loader fuzz/seeds/loader 25
run fuzz_wmf "$work/wmf-seeds" 10
exit $status
