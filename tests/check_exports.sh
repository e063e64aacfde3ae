#!/bin/sh
# Compares the dynamic symbols a shared library defines with the functions its header declares
# with KORVALE_API. Usage: check_exports.sh LIBRARY HEADER
set -eu
library=$1
header=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Declarations may span lines: join the header, then take the name before each "(" that
# follows KORVALE_API.
grep -v '^ *#' "$header" | tr '\n' ' ' | grep -o 'KORVALE_API [^(;]*(' | sed 's/($//; s/.*[ *]//' | sort >"$tmp/declared"
nm -D --defined-only "$library" | awk '$2 ~ /^[TtWwDdBbRr]$/ {print $3}' | sort >"$tmp/exported"
if ! diff -u "$tmp/declared" "$tmp/exported"; then
    echo "exports of $library differ from the declarations of $header (- declared, + exported)"
    exit 1
fi
echo "$(wc -l <"$tmp/exported") exports match the header"
