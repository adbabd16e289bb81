# Sourced by the scripts that run Windows programs: a private Wine prefix, the GBK code
# page, a virtual display when there is none, and a wineserver kept running so that
# later Wine processes start quickly and do not inherit anyone's pipes.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
export LC_ALL=zh_CN.UTF-8
export TZ=${TZ:-Asia/Shanghai}
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display number itself and writes it to the file given as fd 3, so
    # that scripts starting displays at the same moment never pick the same one.
    tq_display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tq_display_file" >/dev/null 2>&1 &
    TQ_XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$tq_display_file" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n 1 "$tq_display_file")"
    rm -f "$tq_display_file"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
fi
wineserver -p >/dev/null 2>&1 </dev/null || true  # it may run already for this prefix
# The first program in a prefix starts Wine's service processes, which inherit its output:
# start them here with nothing attached, so that a test runner reading a later program's
# output through a pipe does not wait for them.
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true

tq_wine_cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${TQ_XVFB_PID:-}" ] && kill "$TQ_XVFB_PID" 2>/dev/null || true
}
