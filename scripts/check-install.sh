#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and builds two small consumers against it: one
# with CMake's find_package, one with pkg-config. Then packs the .deb.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
route=$PWD/examples/route.txt

cmake -S tests/consumer -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer" "$route" | grep -E '^consumer: [0-9]+ rows'

PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch 2>/dev/null || true)/pkgconfig" \
    sh -c 'c++ tests/consumer/consumer.cpp $(pkg-config --cflags --libs korvale) -o "$0"' "$work/pkg"
LD_LIBRARY_PATH="$(dirname "$(find "$prefix" -name 'libkorvale.so' | head -n 1)")" \
    "$work/pkg" "$route" | grep -E '^consumer: [0-9]+ rows'

# The installed tool runs against the installed files.
LD_LIBRARY_PATH="$prefix/lib" "$prefix/bin/korvale" profile "$route" | grep -E '^rows: +[0-9]+$'

# The header compiles as plain C on its own.
printf '#include <korvale.h>\nint main(void) { return get_korvale_rows(0) == -1 ? 0 : 1; }\n' >"$work/c.c"
cc -std=c99 -Wall -Wextra -pedantic -Werror -I"$prefix/include" "$work/c.c" -c -o "$work/c.o"

(cd "$build" && cpack -G DEB >/dev/null && ls ./*.deb && dpkg-deb -c ./*.deb | grep -E 'bin/korvale$|include/korvale.h$|libkorvale.so')
echo "install check passed"
