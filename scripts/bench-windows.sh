#!/usr/bin/env bash
# Measures the load of a generated 1 000 000-row route (49 MB) in libkorvale.so on Linux and in
# korvale.dll under Wine on the same machine, both built as they ship (RelWithDebInfo), from the
# same file in the page cache; prints the median of five loads of each and their ratio.
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

echo "Linux, libkorvale.so:"
linux=$(build/benchmarks/bench/korvale_load_timer "$route" 5 2>&1 >/dev/null | tee /dev/stderr)
echo "Windows, korvale.dll under Wine:"
windows=$("$wine" build/benchmarks-mingw/bin/korvale_load_timer.exe "$route" 5 2>&1 >/dev/null |
    tr -d '\r' | tee /dev/stderr)
median() { sed -n 's/.*median \([0-9.]*\) s.*/\1/p'; }
awk -v l="$(median <<<"$linux")" -v w="$(median <<<"$windows")" \
    'BEGIN { printf "Wine / Linux: %.2f\n", w / l }'
