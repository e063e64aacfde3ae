#!/usr/bin/env bash
# Builds korvale and runs every test three times: with g++ as it ships (then the route layer and
# the tool once more with the bundled libraries of third_party/, their route files compared with
# the first build's, then the README's first command and Python section, followed in a clean
# clone), as korvale.dll
# cross-built with mingw-w64 and run under Wine, then with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (with LeakSanitizer's check at every exit, and a short run of every
# fuzz target); then the concurrency tests under ThreadSanitizer. Warnings are errors in every
# build.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

# Sanitizer runtimes can fail to start where the kernel randomises mmap addresses with many
# bits; sanitized programs then run with address randomisation off where that is allowed.
sanitized=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    sanitized=(setarch "$(uname -m)" -R)
fi

# A test whose tool was not found is left out of the build without a word: the ones that CI
# must run are named here, and a build that lacks one fails.
require_tests() {
    local build=$1
    shift
    local listed
    listed=$(ctest --test-dir "$build" -N)
    for name in "$@"; do
        if ! grep -q ": $name\$" <<<"$listed"; then
            echo "the test $name is not in $build: is what it needs installed (scripts/install-deps.sh)?" >&2
            exit 1
        fi
    done
}

# The browser test's npm packages (puppeteer-core), from the committed lock when missing.
if [ ! -d tests/browser/node_modules/puppeteer-core ]; then
    (cd tests/browser && npm ci --no-audit --no-fund)
fi

echo "=== g++ build and tests"
cmake -S . -B build/gcc -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON
cmake --build build/gcc -j "$jobs"
require_tests build/gcc csharp_bindings csharp_route_bindings dashboard_page_in_browser python_bindings \
    command_line_tool sumo_finds_the_advice_follower_uses_less_fuel clang_tidy \
    clang_tidy_reports_broken_rules layers_and_includes layer_check_reports_broken_rules
ctest --test-dir build/gcc --output-on-failure -j "$jobs"

echo "=== the route layer and the tool with the bundled pugixml, GeographicLib and cpp-httplib"
cmake -S . -B build/bundled -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON -DKORVALE_BUNDLED_DEPS=ON \
    -DKORVALE_BUILD_EXAMPLES=OFF -DKORVALE_BUILD_BENCHMARKS=OFF
cmake --build build/bundled -j "$jobs" --target korvale_tool korvale_routes korvale_routes_tests \
    gps_accuracy
require_tests build/bundled command_line_tool routes_exports_match_header gps_accuracy_small_case
ctest --test-dir build/bundled --output-on-failure -j "$jobs" \
    -R '^(command_line_tool|routes_exports_match_header|gps_accuracy_small_case)$'
# The route layer's tests all, whatever their names (run where ctest runs them; their log
# shown when one fails).
if ! (cd build/bundled/tests/routes && ./korvale_routes_tests --gtest_brief=1 >tests.log 2>&1); then
    cat build/bundled/tests/routes/tests.log
    exit 1
fi
echo "the route layer's tests passed with the bundled libraries"
if [ "$(uname -m)" = x86_64 ]; then
    # The same libraries built by other hands must give the same route files, to the byte.
    # (in the build folder, so that a failed comparison leaves nothing elsewhere)
    routes=build/bundled/route-files
    rm -rf "$routes" && mkdir "$routes"
    while read -r name arguments; do
        for build in gcc bundled; do
            # shellcheck disable=SC2086 # the arguments are words
            "build/$build/tools/korvale" route $arguments -o "$routes/$name.$build.txt" >/dev/null
        done
        cmp "$routes/$name.gcc.txt" "$routes/$name.bundled.txt"
        echo "route $name: the bundled build's file is the Debian packages' build's, byte for byte"
    done <<'ROUTES'
map opendrive examples/map.xodr --roads 1,2 --lane -1
town01 opendrive tests/data/carla_Town01.xodr --roads 7,14,8,11,0 --lane -1 --step 0.5
ride gps tests/data/santa_monica_ride.gpx --limit 50
ROUTES
    rm -rf "$routes"
fi

echo "=== install, consumers through find_package and pkg-config, .deb"
scripts/check-install.sh build/gcc

echo "=== the README's first command and Python section (pip install in a venv), in a clean clone"
/usr/bin/python3 tests/readme_python_check.py

echo "=== Windows: korvale.dll, korvale.lib and korvale.exe cross-built; their tests under Wine"
scripts/test-windows.sh build/mingw build/gcc

echo "=== clang build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/clang-asan -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DKORVALE_WERROR=ON -DKORVALE_SANITIZE=address,undefined \
    -DKORVALE_BUILD_FUZZERS=ON
cmake --build build/clang-asan -j "$jobs"
# Every test executable and every child process it starts inherits these.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"${sanitized[@]}" ctest --test-dir build/clang-asan --output-on-failure -j "$jobs"

# --- fuzzing: a short run of every target from its seeds (fuzz/run.sh for longer runs)
echo "=== fuzz targets, 20 s each, under AddressSanitizer and UndefinedBehaviorSanitizer"
"${sanitized[@]}" fuzz/run.sh build/clang-asan 20

# --- ThreadSanitizer: only what runs on several threads is built
echo "=== clang build of the concurrency tests under ThreadSanitizer"
cmake -S . -B build/clang-tsan -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON -DKORVALE_SANITIZE=thread \
    -DKORVALE_BUILD_TOOL=OFF -DKORVALE_BUILD_EXAMPLES=OFF
cmake --build build/clang-tsan -j "$jobs" --target korvale_concurrency_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    "${sanitized[@]}" ctest --test-dir build/clang-tsan --output-on-failure -R '^Concurrency\.'
