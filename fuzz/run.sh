#!/usr/bin/env bash
# Runs every fuzz target of a build for a while, starting from the seeds in fuzz/corpus/.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET] [extra libFuzzer options...]
# New inputs go to BUILD_DIR/fuzz-corpus/<target> (the seeds stay as they are), crashes to
# BUILD_DIR/fuzz-findings/. Exits non-zero when a target finds a crash, a leak or a hang.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
shift $(( $# >= 2 ? 2 : 1 ))

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

status=0
for target in route_file queries number_reader opendrive_map gps_track; do
    binary="$build/fuzz/fuzz_$target"
    if { [ "$target" = opendrive_map ] || [ "$target" = gps_track ]; } && [ ! -x "$binary" ]; then
        echo "--- fuzz_$target: not built (the route layer needs pugixml)"
        continue
    fi
    corpus="$build/fuzz-corpus/$target"
    findings="$build/fuzz-findings/$target"
    mkdir -p "$corpus" "$findings"
    echo "--- fuzz_$target, $seconds s"
    if ! "$binary" "$corpus" "$here/corpus/$target" -max_total_time="$seconds" -timeout=10 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$findings/" "$@" \
        >"$build/fuzz-$target.log" 2>&1; then
        status=1
        tail -n 60 "$build/fuzz-$target.log"
        echo "fuzz_$target FAILED; the input is in $findings/"
    else
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: .*ft:' \
            "$build/fuzz-$target.log" | tail -n 3
    fi
done
exit $status
