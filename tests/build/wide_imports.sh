#!/usr/bin/env bash
# Fails when the program calls an ANSI ("...A") function of user32, gdi32, comdlg32,
# shell32, advapi32 or comctl32, imported or looked up by name at run time: those take
# texts in the system's code page, and the program's texts cross to the platform as UTF-16.
# The libraries' export tables come from Wine's own builds of them.
# Usage: wide_imports.sh <program.exe>
set -euo pipefail
exe=$1
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
objdump=i686-w64-mingw32-objdump

# ANSI functions that only ever see ASCII texts the program spells itself (none today).
allowed=()

ansi_exports=$(for dll in user32 gdi32 comdlg32 shell32 advapi32 comctl32; do
    "$objdump" -p "$dlls/$dll.dll" | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z0-9_]*A\)$/\1/p'
done | sort -u)
[ -n "$ansi_exports" ] || { echo "no export tables read from $dlls"; exit 1; }

# Every imported name, and every string in the file that could name a function.
used=$( { "$objdump" -p "$exe" | awk 'NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print $3}'
          strings -a "$exe"; } | grep -E '^[A-Za-z0-9_]+A$' | sort -u)
found=$(comm -12 <(echo "$ansi_exports") <(echo "$used") | grep -vxF -f <(printf '%s\n' "${allowed[@]}" "") || true)
if [ -n "$found" ]; then
    echo "ANSI functions in $(basename "$exe"):"
    echo "$found"
    exit 1
fi
echo "$(basename "$exe"): no ANSI function of the user-interface, shell or registry libraries"
