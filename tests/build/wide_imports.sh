#!/usr/bin/env bash
# Fails when the program calls an ANSI ("...A") function of user32, gdi32, comdlg32,
# shell32, advapi32 or comctl32, or one of kernel32's file, folder and module functions,
# imported or looked up by name at run time: those take texts in the system's code page, and
# the program's texts and paths cross to the platform as UTF-16. The libraries' export tables
# come from Wine's own builds of them.
# Usage: wide_imports.sh <program.exe>
set -euo pipefail
exe=$1
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
objdump=i686-w64-mingw32-objdump

# ANSI functions that only ever see fixed ASCII texts: the compiler's start-up code
# (crtbegin.o) and the C runtime's clock look up their own libraries by name with these. The
# program's own code must not call them (checked in its libraries below).
allowed=(GetModuleHandleA LoadLibraryA)

exports() { "$objdump" -p "$dlls/$1.dll" | sed -n 's/^\s*\[ *[0-9]*\] \([A-Za-z0-9_]*A\)$/\1/p'; }
ansi_exports=$( { for dll in user32 gdi32 comdlg32 shell32 advapi32 comctl32; do exports "$dll"; done
                  exports kernel32 | grep -E 'File|Directory|Path|Module|Library|Drive|Volume|Profile|DiskFreeSpace'
                } | sort -u)
[ -n "$ansi_exports" ] || { echo "no export tables read from $dlls"; exit 1; }

# Every imported name, and every string in the file that could name a function.
used=$( { "$objdump" -p "$exe" | awk 'NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print $3}'
          strings -a "$exe"; } | grep -E '^[A-Za-z0-9_]+A$' | sort -u)
found=$(comm -12 <(echo "$ansi_exports") <(echo "$used") | grep -vxF -f <(printf '%s\n' "${allowed[@]}" "") || true)
# The program's own libraries, built beside it, reference none of the allowed ones either.
for lib in "$(dirname "$exe")"/libtq_*.a; do
    [ -f "$lib" ] || continue
    own=$(i686-w64-mingw32-nm "$lib" 2>/dev/null | grep -oE "__imp__($(IFS='|'; echo "${allowed[*]}"))@" || true)
    [ -z "$own" ] || found=$(printf '%s\n%s' "$found" "$own (in $(basename "$lib"))" | sed '/^$/d')
done
if [ -n "$found" ]; then
    echo "ANSI functions in $(basename "$exe"):"
    echo "$found"
    exit 1
fi
echo "$(basename "$exe"): no ANSI function of the user-interface, shell or registry libraries, nor of kernel32's files, folders and modules"
