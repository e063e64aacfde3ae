#!/usr/bin/env bash
# Builds korvale as it ships (g++, RelWithDebInfo) with its benchmarks and runs every benchmark
# five times; the console shows the medians and, at the end, the ratios that count. Extra
# arguments go to the benchmark binary (for example --benchmark_filter=/1000000$).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/benchmarks -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build/benchmarks --target korvale_bench
build/benchmarks/bench/korvale_bench --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
    --benchmark_color=false "$@"
