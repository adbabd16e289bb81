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
    for n in $(seq 90 120); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    TQ_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
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
