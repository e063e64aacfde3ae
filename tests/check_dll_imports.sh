#!/bin/sh
# Checks that a DLL imports from DLLs that come with Windows only (the C runtime msvcrt.dll or
# the UCRT included), so that it runs without the compiler's runtime DLLs beside it.
# Usage: check_dll_imports.sh DLL [OBJDUMP]
set -eu
library=$1
objdump=${2:-objdump}
imports=$("$objdump" -p "$library" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
if [ -z "$imports" ]; then
    echo "$library imports nothing (not a DLL read by $objdump?)"
    exit 1
fi
status=0
for dll in $imports; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | ws2_32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | advapi32.dll | \
        user32.dll | ntdll.dll) echo "imports $dll" ;;
    *)
        echo "imports $dll, which does not come with Windows"
        status=1
        ;;
    esac
done
exit $status
