#!/usr/bin/env bash
# Builds what a Windows user downloads, into build/dist: the installer
# (TorvekQuindle-<version>-setup.exe, NSIS from packaging/installer.nsi) and the portable zip
# (TorvekQuindle-<version>-win32.zip: the executable, a short readme in Chinese and the licence
# texts). The version and the rights holder come from src/resources/version.h, which the
# version resource uses too. Run through `make dist`, after the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

define() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" src/resources/version.h; }
version=$(define TQ_VERSION_TEXT)
dotted=$(define TQ_VERSION_DOTTED)
publisher=$(define TQ_RIGHTS_HOLDER)
[ -n "$version" ] && [ -n "$dotted" ] && [ -n "$publisher" ] || { echo "no version in version.h"; exit 1; }

exe=build/win32/TorvekQuindle.exe
[ -f "$exe" ] || { echo "$exe is missing: build first"; exit 1; }
dist=build/dist
stage=$dist/stage
rm -rf "$dist"
mkdir -p "$stage"

# Windows texts: UTF-8 with a byte-order mark (Notepad and the installer's licence page then
# read the Chinese right on every Windows) and CR LF line ends.
windows_text() { { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$1"; } >"$2"; }
cp "$exe" "$stage/TorvekQuindle.exe"
cp src/resources/TorvekQuindle.ico "$stage/"
windows_text LICENSE "$stage/LICENSE.txt"
windows_text THIRD-PARTY-NOTICES "$stage/THIRD-PARTY-NOTICES.txt"
windows_text packaging/readme.txt "$stage/README.txt"

setup=TorvekQuindle-$version-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_DOTTED="$dotted" \
    -DPUBLISHER="$publisher" -DSTAGE="$root/$stage" -DOUTFILE="$root/$dist/$setup" \
    packaging/installer.nsi

zip_name=TorvekQuindle-$version-win32.zip
# ASCII file names: every unzipper on every code page reads them the same.
(cd "$stage" && zip -q -X -9 "../$zip_name" TorvekQuindle.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
rm -rf "$stage"
ls -l "$dist"
