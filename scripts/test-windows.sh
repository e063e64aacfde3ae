#!/usr/bin/env bash
# Cross-builds korvale.dll, korvale_routes.dll, their .lib files, korvale.exe, the tests and the
# examples with mingw-w64 (the route layer and the dashboard page from third_party/) and runs the
# tests under Wine: the same test suite as on Linux, the DLLs' export and import tables, hosts
# linked by lld-link against korvale.lib and korvale_routes.lib, and the dynamic host, which loads
# korvale.dll by name and sends to a dashboard receiver on the Linux side of 127.0.0.1. Given a
# Linux build (with its tool, and its run of the dynamic host), korvale.exe is run against the
# Linux tool and the two runs of the host are compared, value for value. Then the install tree
# is checked. Wine's prefix lives in the build directory.
#
#   scripts/test-windows.sh [BUILD_DIR [LINUX_BUILD_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/mingw}
linux_build=${2:-}
jobs=$(nproc 2>/dev/null || echo 2)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
if [ ! -x "$wine" ]; then
    echo "$wine is missing: scripts/install-deps.sh installs Wine (Debian's wine64)"
    exit 1
fi

mkdir -p "$build"
export WINEPREFIX="$PWD/$build/wine-prefix"
export WINEDEBUG=-all

start=$SECONDS
# One Wine server for the whole run: with its default, it ends a few seconds after its last
# program, and a program that starts just then fails with "wine client error ... Connection reset
# by peer" (seen in CI). It is ended at the bottom of this script.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
# The first start makes Wine's prefix; later starts take a fraction of a second.
"$wine" wineboot --init >/dev/null 2>&1 || true
echo "Wine prefix ready in $((SECONDS - start)) s"

linux_tool=
if [ -n "$linux_build" ] && [ -x "$linux_build/tools/korvale" ]; then
    linux_tool=$(cd "$linux_build/tools" && pwd)/korvale
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALE_WERROR=ON -DKORVALE_LINUX_TOOL="$linux_tool"
cmake --build "$build" -j "$jobs"
echo "cross build done at $((SECONDS - start)) s"
# Tests left out where their tool (lld, llvm, the Linux tool) was not found must not pass unseen.
# (The list is read whole first: grep -q would stop reading it, and pipefail take ctest's
# broken pipe for a missing test.)
listed=$(ctest --test-dir "$build" -N)
for name in msvc_import_library_links_a_host_that_runs msvc_import_library_links_a_route_host_that_runs \
    windows_tool_gives_the_values_of_the_linux_tool; do
    if ! grep -q ": $name\$" <<<"$listed"; then
        echo "the test $name is not in $build: is what it needs installed (scripts/install-deps.sh)?" >&2
        exit 1
    fi
done
# A test is run a second time only when its first run failed under Wine: Wine itself (its
# server, its start-up) occasionally fails a program that never ran; every native run above has
# no such second chance.
ctest --test-dir "$build" --output-on-failure -j "$jobs" --repeat until-pass:2
echo "tests under Wine done at $((SECONDS - start)) s"

if [ -n "$linux_build" ]; then
    echo "dynamic host, Linux against Windows:"
    /usr/bin/python3 tests/dynamic_host_check.py compare "$linux_build/dynamic_host.out" \
        "$build/dynamic_host.out"
fi

# The install tree: the DLLs and the tool, both import libraries of each DLL and its .def beside
# each other.
rm -rf "$build/install"
cmake --install "$build" --prefix "$build/install" >/dev/null
for file in bin/korvale.dll bin/korvale.exe include/korvale.h lib/libkorvale.dll.a \
    lib/korvale.lib lib/korvale.def bin/korvale_routes.dll include/korvale_routes.h \
    lib/libkorvale_routes.dll.a lib/korvale_routes.lib lib/korvale_routes.def \
    lib/cmake/korvale/korvaleConfig.cmake; do
    if [ ! -f "$build/install/$file" ]; then
        echo "install tree: $file is missing"
        exit 1
    fi
done
echo "install tree: korvale.dll, korvale_routes.dll and korvale.exe; their .dll.a, .lib and .def"
# Wine's server ends with this script rather than linger after it.
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w || true
echo "Windows part took $((SECONDS - start)) s"
