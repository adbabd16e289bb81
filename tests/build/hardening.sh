#!/usr/bin/env bash
# Fails when the program loses a hardening it is built with: TERMINAL_SERVER_AWARE,
# DYNAMIC_BASE with the relocations that let the image move, NX_COMPAT and LARGE_ADDRESS_AWARE
# in its header; the stack protector in the program's own code and the fortified C library
# calls. The executable is stripped: its symbols are read from TorvekQuindle.debug beside it.
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

[ $failed -eq 0 ] && echo "$(basename "$exe"): TSAWARE, LARGE_ADDRESS_AWARE, DYNAMIC_BASE with relocations, NX_COMPAT; stack protector and fortified calls"
exit $failed
