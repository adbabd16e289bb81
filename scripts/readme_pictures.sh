#!/usr/bin/env bash
# The README's pictures, from the real program under Wine: the countdown window and the
# settings window's two pages on a screen at 100 % and at 150 % (docs/pictures/*.png).
# The end-to-end driver runs the program and names each area to take; this script takes it
# from the X display. Takes the driver and the program of the given build folder (default
# build/win32), built beforehand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
out=$root/docs/pictures
work=$root/build/artifacts/readme
rm -rf "$work"
mkdir -p "$out" "$work"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap tq_wine_cleanup EXIT
TQ_SCREENSHOT_DIR=$(winepath -w "$work" 2>/dev/null) \
    wine "$build/e2e_tests.exe" --gtest_filter='SettingsWindowTest.PicturesAtEachScreenScale' \
    "$(winepath -w "$build/TorvekQuindle.exe" 2>/dev/null)" >"$work/pictures.log" 2>&1 &
driver=$!
while kill -0 "$driver" 2>/dev/null; do
    for rect in "$work"/*.rect; do
        [ -f "$rect" ] || continue
        name=$(basename "$rect" .rect)
        # A palette of 256 colours keeps the files small; window chrome and text need no more.
        /usr/bin/import -window root -crop "$(cat "$rect")" +repage -strip -colors 256 \
            PNG8:"$work/$name.tmp.png"
        cp "$work/$name.tmp.png" "$out/$name.png"
        mv "$work/$name.tmp.png" "$work/$name.png"
        rm -f "$rect"
    done
    sleep 0.1
done
wait "$driver" || { cat "$work/pictures.log"; exit 1; }
echo "pictures in $out"
