#!/usr/bin/env bash
# Runs the test executables of the plain g++ build under Valgrind's memcheck: invalid reads and
# writes, uses of uninitialised values and leaks (definite and indirect) fail the run. Child
# processes that the tests start (the test host, the leak canary) run under memcheck too.
# Slower than the sanitized build, so not part of scripts/test.sh; run it after that, or alone:
#     scripts/memcheck.sh [BUILD_DIR]      (default build/gcc; built here when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/gcc}"

if ! command -v valgrind >/dev/null; then
    echo "valgrind is not installed (Debian: apt-get install valgrind)" >&2
    exit 2
fi
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

log_dir="$build/memcheck"
rm -rf "$log_dir"
mkdir -p "$log_dir"
memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
          --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect
          --track-origins=yes --trace-children=yes
          "--trace-children-skip=*/rm,*/python3*"
          "--log-file=$log_dir/%p.log")

# Left out: korvale_alloc_tests, which counts allocations through an operator new of its own
# that Valgrind replaces with its own; the route too large for memory (its address space limit leaves no room for
# Valgrind) and the leak canary, which leaks on purpose (it only runs in sanitized builds).
skip='ProfileLifecycleFatal.RouteTooLargeForMemoryTakesTheFatalPathWithoutACrash'
skip="$skip:Resources.LeakCheckIsOnInChildProcesses"

status=0
for test in korvale_core_tests korvale_api_tests comm_tests korvale_concurrency_tests; do
    echo "=== $test under memcheck"
    if ! "${memcheck[@]}" "$build/tests/$test" --gtest_filter="-$skip" >"$log_dir/$test.out" 2>&1; then
        status=1
        tail -n 20 "$log_dir/$test.out"
    fi
done
echo "=== what memcheck says, over all processes"
grep -h "ERROR SUMMARY\|definitely lost\|indirectly lost" "$log_dir"/*.log | sed 's/^==[0-9]*== //' |
    sort | uniq -c
# Every process, children included, must have ended without an error. (A shell that went on
# to run rm, which memcheck leaves alone, writes no summary.)
if grep -l "ERROR SUMMARY: [1-9]" "$log_dir"/*.log | grep -q .; then
    echo "memcheck found errors in:"
    grep -l "ERROR SUMMARY: [1-9]" "$log_dir"/*.log
    status=1
fi
if [ $status -eq 0 ]; then
    echo "memcheck: no errors and no leaks in $(grep -l "ERROR SUMMARY: 0 errors" "$log_dir"/*.log |
        wc -l) processes"
fi
exit $status
