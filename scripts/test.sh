#!/usr/bin/env bash
# Builds korvale and runs every test three times: with g++ as it ships, as korvale.dll
# cross-built with mingw-w64 and run under Wine, then with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer. Warnings are errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

echo "=== g++ build and tests"
cmake -S . -B build/gcc -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON
cmake --build build/gcc -j "$jobs"
ctest --test-dir build/gcc --output-on-failure -j "$jobs"

echo "=== install, consumers through find_package and pkg-config, .deb"
scripts/check-install.sh build/gcc

echo "=== Windows: korvale.dll cross-built with mingw-w64; its tests and a host under Wine"
scripts/test-windows.sh build/mingw build/gcc/dynamic_host.out

echo "=== clang build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/clang-asan -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DKORVALE_WERROR=ON -DKORVALE_SANITIZE=address,undefined
cmake --build build/clang-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/clang-asan --output-on-failure -j "$jobs"
