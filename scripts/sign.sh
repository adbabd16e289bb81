#!/usr/bin/env bash
# Signs one Windows executable in place with Authenticode (SHA-256), with osslsigncode and the
# certificate and key in the PKCS#12 file $SIGN_PFX, whose password is $SIGN_PASSWORD (read
# from the environment, never from the command line, which other users can list). With
# $SIGN_TIMESTAMP_URL the signature is also time-stamped there (RFC 3161), so that it stays
# valid after the certificate expires. scripts/dist.sh calls it for the program, and makensis
# (through the installer script's finalize commands) for the uninstaller and the installer.
# Usage: sign.sh <file.exe>
set -euo pipefail
file=$1
[ -n "${SIGN_PFX:-}" ] || { echo "sign.sh: SIGN_PFX is not set" >&2; exit 1; }
[ -f "$SIGN_PFX" ] || { echo "sign.sh: no such file: $SIGN_PFX" >&2; exit 1; }

options=(-pkcs12 "$SIGN_PFX" -h sha256 -n TorvekQuindle)
[ -n "${SIGN_TIMESTAMP_URL:-}" ] && options+=(-ts "$SIGN_TIMESTAMP_URL")
signed=$(mktemp "$file.XXXXXX")
trap 'rm -f "$signed"' EXIT
rm -f "$signed"  # osslsigncode writes a new file
# The password through a pipe that osslsigncode opens as a file (Debian 12's osslsigncode 2.5
# reads no password from its standard input).
if [ -n "${SIGN_PASSWORD:-}" ]; then
    osslsigncode sign "${options[@]}" -readpass <(printf '%s' "$SIGN_PASSWORD") \
        -in "$file" -out "$signed" >/dev/null
else
    osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >/dev/null
fi
cat "$signed" >"$file"  # in place: the file keeps its mode
