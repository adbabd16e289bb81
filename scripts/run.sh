#!/usr/bin/env bash
# Starts the program under Wine from build/win32. Without a display it starts a virtual
# one, lets the program run a few seconds, saves build/screenshot.png and ends it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
had_display=${DISPLAY:-}
source scripts/wine-env.sh
exe=build/win32/TorvekQuindle.exe
if [ -n "$had_display" ]; then
    wine "$exe"
    exit 0
fi
wine "$exe" >/dev/null 2>&1 &
pid=$!
sleep "${RUN_SECONDS:-6}"
/usr/bin/import -window root build/screenshot.png
echo "screenshot saved to build/screenshot.png"
kill "$pid" 2>/dev/null || true
tq_wine_cleanup
