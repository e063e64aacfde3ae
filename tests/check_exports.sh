#!/bin/sh
# Compares the functions a shared library exports with the functions its header declares with
# KORVALE_API (KORVALE_ROUTES_API in korvale_routes.h). A DLL's export table is read with
# objdump -p (the toolchain's objdump, given as the third argument; the names must be plain,
# without decoration), a shared object's dynamic symbols with nm -D. Usage: check_exports.sh LIBRARY HEADER [OBJDUMP]
set -eu
library=$1
header=$2
objdump=${3:-objdump}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Declarations may span lines: join the header, then take the name before each "(" that
# follows the export macro.
grep -v '^ *#' "$header" | tr '\n' ' ' | grep -oE 'KORVALE_(ROUTES_)?API [^(;]*\(' | sed 's/($//; s/.*[ *]//' | sort >"$tmp/declared"
case "$library" in
*.dll | *.DLL)
    # The name table follows "[Ordinal/Name Pointer] Table" as lines "[ n] name" and ends at
    # the first blank line.
    "$objdump" -p "$library" >"$tmp/headers"
    if ! grep -q '\[Ordinal/Name Pointer\] Table' "$tmp/headers"; then
        echo "$library has no export table"
        exit 1
    fi
    awk '/\[Ordinal\/Name Pointer\] Table/ {in_table = 1; next}
         in_table && /^[[:space:]]*$/ {in_table = 0}
         in_table && /\[ *[0-9]+\]/ {sub(/^.*\] /, ""); print}' "$tmp/headers" | sort >"$tmp/exported"
    ;;
*)
    # Every function carries the version node it came with (name@@KORVALE_x.y, or
    # name@@KORVALE_ROUTES_x.y in the route library).
    nm -D --defined-only "$library" | awk '$2 ~ /^[TtWwDdBbRr]$/ {print $3}' >"$tmp/versioned"
    if grep -v '@@KORVALE_\(ROUTES_\)\{0,1\}[0-9.]*$' "$tmp/versioned"; then
        echo "these exports of $library have no version node"
        exit 1
    fi
    sed 's/@.*//' "$tmp/versioned" | sort >"$tmp/exported"
    ;;
esac
if ! diff -u "$tmp/declared" "$tmp/exported"; then
    echo "exports of $library differ from the declarations of $header (- declared, + exported)"
    exit 1
fi
echo "$(wc -l <"$tmp/exported") exports match the header"
