#!/usr/bin/env bash
# Counts the instructions of one call of each benchmark under callgrind (the benchmark's set-up
# and one iteration: --benchmark_min_time=0 runs one), at the smallest size of each, so that two
# builds can be compared where timings are too noisy. Prints "name instructions" lines.
#   scripts/bench-callgrind.sh BUILD_DIR [REGEX]
# BUILD_DIR holds bench/korvale_bench and bench/korvale_sim_bench (scripts/bench.sh builds them);
# REGEX picks benchmarks by name (default: all of the smallest size).
set -euo pipefail
build=${1:?usage: scripts/bench-callgrind.sh BUILD_DIR [REGEX]}
pick=${2:-.}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for binary in "$build/bench/korvale_bench" "$build/bench/korvale_sim_bench"; do
    [ -x "$binary" ] || continue
    # the smallest size of each benchmark, no GEOS comparisons (not korvale's code)
    "$binary" --benchmark_list_tests |
        grep -vE '/(100000|1000000|100001)(/|$)|geos' | grep -E -- "$pick" |
        while read -r name; do
            filter="^$(sed 's/[][<>()*+?.^$|\\{}]/\\&/g' <<<"$name")\$"
            valgrind --tool=callgrind --callgrind-out-file="$out/cg" \
                "$binary" --benchmark_filter="$filter" --benchmark_min_time=0 \
                >/dev/null 2>"$out/log"
            echo "$name $(sed -nE 's/.*Collected : ([0-9]+).*/\1/p' "$out/log")"
        done
done
