#!/usr/bin/env bash
# Pictures of the settings window's two pages and of the about window as Wine draws them,
# for a person to look at: build/artifacts/settings_page1.png, settings_page2.png and
# about.png. Takes the Windows test program of the given build folder (default
# build/win32), built beforehand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
out=$root/build/artifacts
mkdir -p "$out"
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap tq_wine_cleanup EXIT
TQ_SCREENSHOT_DIR=$(winepath -w "$out" 2>/dev/null) \
    wine "$build/win_tests.exe" --gtest_filter='DialogFormScreenshots.*' >"$out/screenshots.log" 2>&1
for name in settings_page1 settings_page2 about; do
    /usr/bin/convert "$out/$name.bmp" "$out/$name.png"
    rm -f "$out/$name.bmp"
done
echo "screenshots in $out"
