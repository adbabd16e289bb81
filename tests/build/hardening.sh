#!/usr/bin/env bash
# Fails when the program loses a hardening it is built with: TERMINAL_SERVER_AWARE,
# DYNAMIC_BASE with the relocations that let the image move, NX_COMPAT and LARGE_ADDRESS_AWARE
# in its header; the stack protector in the program's own code and the fortified C library
# calls; the library search restricted before any library is loaded by name. The executable
# is stripped: its symbols are read from TorvekQuindle.debug beside it.
# Usage: hardening.sh <program.exe>
set -euo pipefail
exe=$1
debug=${exe%.exe}.debug
objdump=i686-w64-mingw32-objdump
failed=0
fail() { echo "$(basename "$exe"): $*"; failed=1; }

header=$("$objdump" -p "$exe")
characteristics=$((16#$(awk '$1 == "Characteristics" {print $2; exit}' <<<"$header" | sed 's/^0x//')))
dll_characteristics=$((16#$(awk '$1 == "DllCharacteristics" {print $2; exit}' <<<"$header")))
((characteristics & 0x20)) || fail "not LARGE_ADDRESS_AWARE"
((characteristics & 0x1)) && fail "relocations stripped"
((dll_characteristics & 0x40)) || fail "not DYNAMIC_BASE"
((dll_characteristics & 0x100)) || fail "not NX_COMPAT"
((dll_characteristics & 0x8000)) || fail "not TERMINAL_SERVER_AWARE"
"$objdump" -h "$exe" | grep -q ' \.reloc ' || fail "no .reloc section"

symbols=$(i686-w64-mingw32-nm "$debug")
grep -q ' T ___stack_chk_fail$' <<<"$symbols" || fail "no stack protector linked in"
# The program's own functions call it, not only the libraries'.
own=$(i686-w64-mingw32-nm "$(dirname "$exe")"/libtq_win.a 2>/dev/null | grep -c ' U ___stack_chk_fail$' || true)
[ "${own:-0}" -gt 0 ] || fail "the program's own code has no stack protector"
grep -qE ' T ___(memcpy|memmove|memset|strcpy|strcat)_chk$' <<<"$symbols" || fail "no fortified call linked in"

# No library is loaded by name before the program restricts where libraries come from: libssp's
# constructor object (its canary seeded through CryptAcquireContextA, which loads the crypto
# provider's libraries) is not linked, nothing imports the crypto provider, and the program's
# first constructor, run before any other but the compiler's frame registration (which loads
# nothing), is the one that restricts the search.
map=${exe%.exe}.map
[ -f "$map" ] || fail "no linker map beside it"
! grep -qs 'libssp\.a(ssp\.o)' "$map" || fail "libssp's constructor object (ssp.o) is linked"
! grep -qiE '^\s+[0-9a-f]+\s+[0-9]+\s+Crypt|DLL Name: (b?crypt|rsaenh)' <<<"$header" ||
    fail "imports the crypto provider"
# The constructors run from the end of the list that starts at __CTOR_LIST__ with -1 and ends
# with a zero; the list lies in .text, whose bytes the stripped executable keeps.
ctor_list=$(awk '$3 == "___CTOR_LIST__" {print $1; exit}' <<<"$symbols")
first_own=""
if [ -n "$ctor_list" ]; then
    words=$("$objdump" -s --start-address=0x"$ctor_list" --stop-address=$((0x$ctor_list + 1024)) "$exe" |
        awk '$1 ~ /^[0-9a-f]+$/ && NF >= 2 { for (i = 2; i <= 5 && i <= NF; i++)
            if (length($i) == 8 && $i ~ /^[0-9a-f]+$/) print $i }')
    ctors=()
    for word in $(tail -n +2 <<<"$words"); do
        address=${word:6:2}${word:4:2}${word:2:2}${word:0:2}  # little-endian
        [ "$address" = 00000000 ] && break
        ctors=("$address" "${ctors[@]}")
    done
    for address in "${ctors[@]}"; do
        name=$(awk -v a="$address" '$1 == a && $2 ~ /^[tT]$/ && $3 !~ /^\./ {print $3; exit}' <<<"$symbols")
        [ "$name" = _register_frame_ctor ] && continue
        first_own=${name:-"an unnamed one at 0x$address"}
        break
    done
fi
[[ "$first_own" == *RestrictLibrariesAndSeedGuard* ]] ||
    fail "the first constructor is ${first_own:-unknown}, not the one that restricts the library search"

[ $failed -eq 0 ] && echo "$(basename "$exe"): TSAWARE, LARGE_ADDRESS_AWARE, DYNAMIC_BASE with relocations, NX_COMPAT; stack protector and fortified calls; no library loaded by name before the search is restricted"
exit $failed
