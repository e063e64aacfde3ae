#!/usr/bin/env bash
# Measures the load of a generated 1 000 000-row route (49 MB) in libkorvale.so on Linux and in
# korvale.dll under Wine on the same machine, both built as they ship (RelWithDebInfo), from the
# same file in the page cache; prints the CPU time of one load in each and their ratio.
#
#   scripts/bench-windows.sh [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."

rows=${1:-1000000}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

cmake -S . -B build/benchmarks -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build/benchmarks --target korvale_load_timer
cmake -S . -B build/benchmarks-mingw -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVALE_BUILD_BENCHMARKS=ON -DKORVALE_BUILD_TESTS=OFF -DKORVALE_BUILD_TOOL=OFF \
    -DKORVALE_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/benchmarks-mingw --target korvale_load_timer

route=build/benchmarks/route-$rows.txt
[ -f "$route" ] || build/benchmarks/bench/korvale_load_timer --write "$rows" "$route"

export WINEPREFIX="$PWD/build/benchmarks-mingw/wine-prefix"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" wineboot --init >/dev/null 2>&1 || true

# CPU time (user and system) of the whole process, so that other work on the machine does not
# count: the process loading the route once and loading it six times, three times each; the
# difference of the two medians, divided by five, is the CPU time of one load with start-up
# (Wine's above all) left out. The timer's own figures of real time are printed as well.
cpu_seconds() {
    local TIMEFORMAT=%U+%S
    { time "$@" >/dev/null 2>/tmp/korvale-bench-windows.$$; } 2>&1 | awk -F+ '{print $1 + $2}'
}
per_load() {
    local once=() six=()
    for _ in 1 2 3; do
        once+=("$(cpu_seconds "$@" 1)")
        six+=("$(cpu_seconds "$@" 6)")
        tr -d '\r' </tmp/korvale-bench-windows.$$ >&2
    done
    rm -f /tmp/korvale-bench-windows.$$
    local m1 m6
    m1=$(printf '%s\n' "${once[@]}" | sort -g | sed -n 2p)
    m6=$(printf '%s\n' "${six[@]}" | sort -g | sed -n 2p)
    awk -v a="$m1" -v b="$m6" 'BEGIN { print (b - a) / 5 }'
}

echo "Linux, libkorvale.so:"
linux=$(per_load build/benchmarks/bench/korvale_load_timer "$route")
printf 'CPU time per load: %.3f s\n' "$linux"
echo "Windows, korvale.dll under Wine:"
windows=$(per_load "$wine" build/benchmarks-mingw/bin/korvale_load_timer.exe "$route")
printf 'CPU time per load: %.3f s\n' "$windows"
awk -v l="$linux" -v w="$windows" 'BEGIN { printf "Wine / Linux: %.2f\n", w / l }'
