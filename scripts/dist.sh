#!/usr/bin/env bash
# Builds what a Windows user downloads, into build/dist: the installer
# (TorvekQuindle-<version>-setup.exe, NSIS from packaging/installer.nsi), the portable zip
# (TorvekQuindle-<version>-win32.zip: one folder TorvekQuindle-<version> holding the executable,
# a short readme in Chinese and the licence texts), SHA256SUMS, the SPDX bill of materials and
# the package managers' manifests (build/dist/manifests). The version and the rights holder
# come from src/resources/version.h, which the version resource uses too. Run through
# `make dist`, after the build.
#
# Reproducible: one commit gives the same bytes in any folder, at any time, in any time zone.
# Every time written (the zip's file times, the bill of materials' date) is SOURCE_DATE_EPOCH,
# the commit's time; the installer stores no file times at all.
#
# Signed when SIGN_PFX names a PKCS#12 file (password in SIGN_PASSWORD, optional time-stamp
# server in SIGN_TIMESTAMP_URL): the executable before it is packed, the uninstaller and the
# installer as makensis writes them (scripts/sign.sh). Without it nothing is signed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ -z "${SIGN_PFX:-}" ] || SIGN_PFX=$(realpath "$SIGN_PFX")  # named from the caller's folder
cd "$root"

# Where the release is published: the package managers' manifests point there, and nothing
# else names it.
release_home=https://torvekquindle.example.org/
release_base=${release_home}releases/

define() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" src/resources/version.h; }
version=$(define TQ_VERSION_TEXT)
dotted=$(define TQ_VERSION_DOTTED)
publisher=$(define TQ_RIGHTS_HOLDER)
years=$(define TQ_COPYRIGHT_YEARS)
[ -n "$version" ] && [ -n "$dotted" ] && [ -n "$publisher" ] && [ -n "$years" ] ||
    { echo "no version in version.h"; exit 1; }

# The commit's time, unless the caller chose one; outside a git clone (an unpacked source
# archive), the newest of the files that go into the release.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        SOURCE_DATE_EPOCH=$(find src packaging LICENSE THIRD-PARTY-NOTICES -type f -printf '%T@\n' |
            sort -n | tail -1 | cut -d. -f1)
fi
export SOURCE_DATE_EPOCH

sign=()
if [ -n "${SIGN_PFX:-}" ]; then
    export SIGN_PFX SIGN_PASSWORD SIGN_TIMESTAMP_URL
    sign=(bash "$root/scripts/sign.sh")
fi

exe=build/win32/TorvekQuindle.exe
[ -f "$exe" ] || { echo "$exe is missing: build first"; exit 1; }
dist=build/dist
folder=TorvekQuindle-$version
stage=$dist/stage/$folder
rm -rf "$dist"
mkdir -p "$stage"

# Windows texts: UTF-8 with a byte-order mark (Notepad and the installer's licence page then
# read the Chinese right on every Windows) and CR LF line ends.
windows_text() { { printf '\xef\xbb\xbf'; sed "s/@VERSION@/$version/g; s/\$/\r/" "$1"; } >"$2"; }
cp "$exe" "$stage/TorvekQuindle.exe"
cp src/resources/TorvekQuindle.ico "$stage/"  # the installer's icon, not in the zip
windows_text LICENSE "$stage/LICENSE.txt"
windows_text THIRD-PARTY-NOTICES "$stage/THIRD-PARTY-NOTICES.txt"
windows_text packaging/readme.txt "$stage/README.txt"
[ ${#sign[@]} -eq 0 ] || "${sign[@]}" "$stage/TorvekQuindle.exe"
# The same modes and times in every clone, whatever its umask and checkout time.
chmod 755 "$stage"
chmod 644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage" "$stage"/*

setup=TorvekQuindle-$version-setup.exe
nsis_sign=()
[ ${#sign[@]} -eq 0 ] || nsis_sign=(-DSIGN_SCRIPT="$root/scripts/sign.sh")
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_DOTTED="$dotted" \
    -DPUBLISHER="$publisher" -DSTAGE="$root/$stage" \
    -DOUTFILE="$root/$dist/$setup" "${nsis_sign[@]}" packaging/installer.nsi

zip_name=TorvekQuindle-$version-win32.zip
# Named one by one, folder first: the order of a folder's listing differs between file systems.
# A zip stores local times: in UTC, the epoch is the same time everywhere. -X leaves out the
# owner and the extra time fields. ASCII file names read the same on every code page.
(cd "$dist/stage" && TZ=UTC0 zip -q -X -9 "../$zip_name" "$folder/" "$folder/TorvekQuindle.exe" \
    "$folder/README.txt" "$folder/LICENSE.txt" "$folder/THIRD-PARTY-NOTICES.txt")

python3 scripts/release_files.py --dist "$dist" --exe "$stage/TorvekQuindle.exe" \
    --setup "$setup" --zip "$zip_name" --version "$version" --publisher "$publisher" \
    --years "$years" --base-url "$release_base$version/" --homepage "$release_home" \
    --deps-src build/deps/src --epoch "$SOURCE_DATE_EPOCH"
rm -rf "$dist/stage"
(cd "$dist" && ls -l "$setup" "$zip_name" && cat SHA256SUMS)
