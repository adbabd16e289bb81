#!/usr/bin/env bash
# Whole-process benchmarks of TorvekQuindle.exe under Wine, each figure a ratio against a
# baseline measured in the same run, the programs alternating: minimal_window.exe (one
# window, one STATIC label, a one-second timer) and, for the start-up, structural_window.exe
# (the same window with the structure the program must have: hidden owner, layered at alpha
# 175, rounded region, single-instance mutex, tray window and icon). Nothing here is a pass/fail
# test: the goals are printed beside the ratios (BENCH_STRICT=1 makes a missed goal the
# exit status).
#
#   start-up   probe.exe starts each program and polls until its countdown label shows a
#              countdown and the window has no paint pending; milliseconds from just
#              before CreateProcess, and the CPU time and write system calls the process
#              has spent a moment after its first paint (the program's own share of the
#              start, which the machine's noise hardly moves); medians of BENCH_START_RUNS
#              (15) alternating starts of the program, the structural baseline and the
#              bare window         goal <= 1.15x the structural baseline in CPU and writes
#   CPU        CPU time of the program's Wine process over BENCH_CPU_SECONDS (60) at the
#              default one-second refresh, from 10 s after the start: utime+stime from
#              /proc/<pid>/stat, and the same in ns from the threads' schedstat (the
#              ratio); beside it the write system calls per second (/proc/<pid>/io),
#              i.e. wineserver requests and X flushes                        goal <= 1.5x
#   memory     VmRSS, PSS and private dirty memory (/proc/<pid>/status, smaps_rollup)
#              10 s after the start (median of the rounds)                   goal <= 1.3x
#   picture    the same memory with a 6000 x 4000 JPEG as background.pic, against the
#              program with its built-in picture                            goal <= 1.25x
#   soak       setting.ini refresh=0.01 (10 ms at second accuracy) and [debug] mode=1;
#              every refresh writes one log line, and the lines are counted until
#              BENCH_SOAK_REFRESHES (20000; 0 skips it) refreshes have happened. VmRSS, GDI
#              objects, USER objects and kernel handles (probe.exe gui) after a warm-up and
#              at the end must be where they were.
#   ticks      probe.exe ticks reads the time label every 2 ms for BENCH_TICK_SECONDS (130;
#              0 skips it) at second accuracy and as long at minute accuracy, and compares
#              every change with the clock: lag from the second in which the new value
#              became true, values skipped or repeated                     goal <= 50 ms
#   fonts      the font scale: a second prefix with BENCH_FONT_FAMILIES (1000; 0 skips it)
#              more families installed (bench/make_fonts.py: one small font under many
#              family names, every tenth a Chinese family named in three languages, made in
#              build/bench-fonts, never committed). Start-up CPU time
#              (as above, medians of BENCH_FONT_RUNS alternating starts) with no stored font
#              name in both prefixes; in the large one also with a stored fontname that no
#              family has against none, and with a family's Traditional Chinese name (which
#              only its name table knows under the Simplified Chinese system) against its
#              listed name                                              goal <= 1.25x each
#              The settings window's opening (settings_bench.exe, BENCH_FONT_SETTINGS_ROUNDS)
#              in both prefixes, with no stored name and with one that no family has: its
#              growth in CPU time from the standard to the large prefix against that of a
#              program that only lists the fonts into one combo box            goal <= 2x
#
# Every program runs from its own copy in its own temporary folder, one at a time (the
# program ends a second instance of the same file name). The results go to
# build/bench-wine/ (summary.md, raw.tsv, probe.log, the soak's log, the first round's
# smaps of both programs and their difference by mapping).
#
# Environment: TQ_BENCH_BUILD (build/win32), WINEPREFIX (build/wineprefix-bench),
# BENCH_QUICK=1 (one round, 3 starts, 15 s of CPU, 1500 soak refreshes, 20 s of ticks),
# BENCH_ROUNDS, BENCH_START_RUNS, BENCH_CPU_RUNS (rounds with a CPU window, 1), BENCH_TICK_SECONDS,
# BENCH_CPU_SECONDS, BENCH_MEMORY_AT, BENCH_SOAK_REFRESHES, BENCH_DPI (the screen scale, 96),
# BENCH_SOAK_WARMUP, BENCH_RESULTS, BENCH_UPDATE_DOC=1 (write the figures into
# docs/performance.md between its wine-bench markers), BENCH_STRICT=1.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=$(cd "${TQ_BENCH_BUILD:-$root/build/win32}" && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix-bench}
quick=${BENCH_QUICK:-0}
if [ "$quick" = 1 ]; then
    rounds=${BENCH_ROUNDS:-1}
    cpu_runs=${BENCH_CPU_RUNS:-1}
    start_runs=${BENCH_START_RUNS:-3}
    cpu_seconds=${BENCH_CPU_SECONDS:-15}
    soak_refreshes=${BENCH_SOAK_REFRESHES:-1500}
    soak_warmup=${BENCH_SOAK_WARMUP:-200}
    tick_seconds=${BENCH_TICK_SECONDS:-20}
else
    rounds=${BENCH_ROUNDS:-3}
    cpu_runs=${BENCH_CPU_RUNS:-1}
    start_runs=${BENCH_START_RUNS:-15}
    cpu_seconds=${BENCH_CPU_SECONDS:-60}
    soak_refreshes=${BENCH_SOAK_REFRESHES:-20000}
    soak_warmup=${BENCH_SOAK_WARMUP:-500}
    tick_seconds=${BENCH_TICK_SECONDS:-130}
fi
memory_at=${BENCH_MEMORY_AT:-10}
results=${BENCH_RESULTS:-$root/build/bench-wine}
python=/usr/bin/python3  # Debian's, which has python3-pil
for f in TorvekQuindle.exe minimal_window.exe structural_window.exe probe.exe settings_bench.exe; do
    [ -f "$build/$f" ] || { echo "missing $build/$f (build the targets TorvekQuindle minimal_window structural_window probe settings_bench)"; exit 1; }
done

mkdir -p "$results"
rm -f "$results"/*.txt "$results"/*.tsv "$results"/*.md "$results"/*.log
work=$(mktemp -d /tmp/tq-bench.XXXXXX)
raw=$results/raw.tsv
printf 'phase\tround\tvariant\tkey\tvalue\n' >"$raw"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started_at=$(date +%s)

source scripts/wine-env.sh
# Every program of the run starts at this screen scale (LogPixels, read by each process at
# its start); the prefix keeps it, so it is set on every run.
bench_dpi=${BENCH_DPI:-96}
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$bench_dpi" /f >/dev/null 2>&1
running=()
finish() {
    for p in "${running[@]}"; do kill -9 "$p" 2>/dev/null; done
    tq_wine_cleanup
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

# ---- helpers -----------------------------------------------------------------------------
now() { date +%s.%N; }
sleep_until() { sleep "$(awk -v t="$1" -v n="$(now)" 'BEGIN { d = t - n; if (d < 0) d = 0; printf "%.3f", d }')"; }
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
kv() { sed -nE "s/^(.* )?$1=([^ ]*).*/\2/p" | head -n 1; }
record() { printf '%s\t%s\t%s\t%s\t%s\n' "$@" >>"$raw"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "n/a"; else printf "%.2f", a / b }'; }
meets() { awk -v r="$1" -v g="$2" 'BEGIN { if (g == "n/a") print "-"; else if (r != "n/a" && r + 0 <= g + 0) print "yes"; else print "NO" }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
clk_tck=$(getconf CLK_TCK)

# The Linux process of a Wine program: Wine writes the program's path as argument 0.
unix_pid() {
    local want=$1 f first
    for _ in $(seq 20); do
        for f in $(grep -l -F -a -- "$want" /proc/[0-9]*/cmdline 2>/dev/null); do
            first=$(tr '\0' '\n' <"$f" 2>/dev/null | head -n 1)
            if [ "$first" = "$want" ]; then f=${f#/proc/}; echo "${f%/cmdline}"; return 0; fi
        done
        sleep 0.1
    done
    return 1
}

wineserver_pid() {
    local f
    for f in /proc/[0-9]*/comm; do
        case $(cat "$f" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
        f=${f%/comm}
        if tr '\0' '\n' <"$f/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "${f#/proc/}"; return 0
        fi
    done
    return 1
}

cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
# Write-type system calls (/proc/<pid>/io syscw): one per request to the wineserver and per
# flush to the X server, so their count per refresh is a deterministic measure of the work
# Wine does for the program, free of the noise that CPU time has on a shared machine.
write_calls() { awk '/^syscw:/ { print $2 }' "/proc/$1/io" 2>/dev/null || echo 0; }
# Nanoseconds on a CPU, summed over the process's threads: the same time as utime+stime,
# without the 10 ms granularity of the clock ticks.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
# mem_sample <pid>: VmRSS, PSS and private dirty memory, kB. Private_Clean is left out: the
# clean pages of Wine's 32-bit DLLs and libraries count as private or shared depending on
# whether any other 32-bit Wine process on the machine maps them at that moment (other
# builds' tests do), which would make the figure follow the neighbours, not the program.
mem_sample() {
    local rss pss priv
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$1/status")
    pss=$(awk '/^Pss:/ { print $2 }' "/proc/$1/smaps_rollup")
    priv=$(awk '/^Private_Dirty:/ { s += $2 } END { print s }' "/proc/$1/smaps_rollup")
    echo "$rss $pss $priv"
}
alive() { [ -e "/proc/$1" ] && [ "$(awk '{ sub(/.*\) /, ""); print $1 }' "/proc/$1/stat" 2>/dev/null)" != Z ]; }

# launch <folder> <exe>: starts the program through the probe; sets L_MS (start to first
# painted countdown), L_WINPID, L_UPID, L_T0 (the time the probe was started), and
# L_CPU_MS and L_WRITES: the CPU time and write system calls the process has spent by the
# time it is found, a moment after its first paint. Unlike the wall-clock time, those two
# hardly depend on what the X server, explorer.exe and the machine are doing meanwhile.
launch() {
    local dir=$1 exe=$2 out=$1/probe-start.txt
    L_T0=$(now)
    wine "$build/probe.exe" start "$(winpath "$dir/$exe")" 60000 >"$out" 2>>"$results/wine-stderr.txt"
    local status=$?
    printf '%s %s\n' "${dir##*/}" "$(cat "$out")" >>"$results/probe.log"
    L_MS=$(kv first_paint_ms <"$out")
    L_WINPID=$(kv pid <"$out")
    L_UPID=$(unix_pid "$(winpath "$dir/$exe")")
    [ -n "$L_UPID" ] && running+=("$L_UPID")
    if [ "$status" -ne 0 ] || [ -z "$L_MS" ] || [ -z "$L_UPID" ]; then
        echo "  start of $dir/$exe failed: $(cat "$out")" >&2
        [ -n "$L_UPID" ] && stop "$L_UPID" "$L_WINPID"
        return 1
    fi
    L_CPU_MS=$(awk -v n="$(cpu_ns "$L_UPID")" 'BEGIN { printf "%.1f", n / 1e6 }')
    L_WRITES=$(write_calls "$L_UPID")
}

# stop <unix pid> <windows pid>: closes the program's window as a user would, so that it
# removes its notification-area icon (a killed program leaves a dead icon in Wine's tray,
# and each one makes every later start of a tray program slower); kills what is left.
stop() {
    [ -n "${2:-}" ] && wine "$build/probe.exe" close "$2" >/dev/null 2>>"$results/wine-stderr.txt"
    kill -9 "$1" 2>/dev/null
    for _ in $(seq 100); do alive "$1" || break; sleep 0.05; done
    sleep 0.3  # the wineserver notices the end; the next instance must not see it
}

gui_sample() { wine "$build/probe.exe" gui "$1" 2>>"$results/wine-stderr.txt"; }

# prepare <name> <exe>: a fresh folder with a copy of the program
prepare() {
    local dir=$work/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$build/$2" "$dir/"
    # Written back at once: a program mapped from the file it was just copied to would count
    # the copy's pages, still dirty in the page cache, as its own private dirty memory.
    sync "$dir/$2"
    echo "$dir"
}

exe_of() { case $1 in min) echo minimal_window.exe ;; struct) echo structural_window.exe ;; *) echo TorvekQuindle.exe ;; esac; }

# ---- the large picture -------------------------------------------------------------------
big_jpeg=$work/photo.jpg
have_big=0
if "$python" - "$big_jpeg" <<'EOF'; then have_big=1; fi
# A camera-sized photo: 6000 x 4000, quality 85, 4:2:0, gradients, a checker pattern and
# fine grain, so the entropy data is closer to a photo's than a flat picture's would be.
import sys
from PIL import Image, ImageChops
W, H = 6000, 4000
gx = Image.linear_gradient("L").rotate(90).resize((W, H))
gy = Image.linear_gradient("L").resize((W, H))
grain = Image.effect_noise((W, H), 8)
square = Image.new("L", (80, 80), 0)
square.paste(40, (0, 0, 40, 40))
square.paste(40, (40, 40, 80, 80))
checker = Image.new("L", (W, H))
for y in range(0, H, 80):
    for x in range(0, W, 80):
        checker.paste(square, (x, y))
r = ImageChops.add(gx, grain, 1, -128)
g = ImageChops.add(ImageChops.add(gy, checker), grain, 1, -128)
b = ImageChops.add(ImageChops.invert(gx), grain, 1, -128)
Image.merge("RGB", (r, g, b)).save(sys.argv[1], "JPEG", quality=85, subsampling=2)
EOF
if [ "$have_big" = 1 ]; then
    big_bytes=$(stat -c %s "$big_jpeg")
    variants=(tq min big)
else
    echo "python3-pil missing: the large-picture check is skipped"
    variants=(tq min)
fi
start_variants=(tq struct min "${variants[@]:2}")

echo "== TorvekQuindle under Wine: $rounds round(s), CPU over ${cpu_seconds}s, soak of $soak_refreshes refreshes"
echo "   build $build, WINEPREFIX $WINEPREFIX, $bench_dpi DPI, load average $load_before"

# ---- a lasting tray icon (see "probe tray"), then one untimed start of each program --------
tray_out=$work/tray.txt
wine "$build/probe.exe" tray >"$tray_out" 2>>"$results/wine-stderr.txt" &
for _ in $(seq 100); do grep -q tray= "$tray_out" 2>/dev/null && break; sleep 0.1; done
tray_pid=$(unix_pid "$(winpath "$build/probe.exe")" || true)
[ -n "$tray_pid" ] && running+=("$tray_pid")
grep -q tray=ready "$tray_out" || echo "  no lasting tray icon: starts after a killed TorvekQuindle may wait ~1.5 s for explorer.exe"

# ---- warm-up: one untimed start of each program (page cache, font cache) -----------------
for v in tq struct min; do
    dir=$(prepare "warm-$v" "$(exe_of "$v")")
    if launch "$dir" "$(exe_of "$v")"; then stop "$L_UPID" "$L_WINPID"; fi
done

# ---- start-up: short runs, the variants alternating ---------------------------------------
declare -A start_ms start_cpu start_writes rss pss priv cpu cpu_ticks_s server_cpu writes
for run in $(seq "$start_runs"); do
    for v in "${start_variants[@]}"; do
        exe=$(exe_of "$v")
        dir=$(prepare "s$run-$v" "$exe")
        [ "$v" = big ] && cp "$big_jpeg" "$dir/background.pic"
        launch "$dir" "$exe" || continue
        start_ms[$v]+=" $L_MS"; start_cpu[$v]+=" $L_CPU_MS"; start_writes[$v]+=" $L_WRITES"
        record start "$run" "$v" start_ms "$L_MS"
        record start "$run" "$v" start_cpu_ms "$L_CPU_MS"
        record start "$run" "$v" start_write_calls "$L_WRITES"
        sleep 0.5
        stop "$L_UPID" "$L_WINPID"
    done
done
echo "  start-up runs: TorvekQuindle${start_ms[tq]:-}; structural${start_ms[struct]:-}; minimal${start_ms[min]:-}${start_ms[big]:+; large picture${start_ms[big]}} (ms)"

# ---- rounds: memory after BENCH_MEMORY_AT seconds; CPU in the first BENCH_CPU_RUNS rounds ----
server=$(wineserver_pid || true)
for round in $(seq "$rounds"); do
    for v in "${variants[@]}"; do
        exe=$(exe_of "$v")
        dir=$(prepare "r$round-$v" "$exe")
        [ "$v" = big ] && cp "$big_jpeg" "$dir/background.pic"
        launch "$dir" "$exe" || continue
        record rounds "$round" "$v" start_ms "$L_MS"
        sleep_until "$(awk -v t="$L_T0" -v d="$memory_at" 'BEGIN { printf "%.3f", t + d }')"
        if ! alive "$L_UPID"; then echo "  $v ended by itself" >&2; continue; fi
        read -r r p q < <(mem_sample "$L_UPID")
        rss[$v]+=" $r"; pss[$v]+=" $p"; priv[$v]+=" $q"
        record rounds "$round" "$v" rss_kb "$r"; record rounds "$round" "$v" pss_kb "$p"
        record rounds "$round" "$v" private_dirty_kb "$q"
        [ "$round" = 1 ] && cp "/proc/$L_UPID/smaps" "$results/smaps-$v.txt" 2>/dev/null
        cpu_note=""
        if [ "$round" -le "$cpu_runs" ] && [ "$v" != big ]; then
            c0=$(cpu_ns "$L_UPID"); t0=$(cpu_ticks "$L_UPID"); w0=$(write_calls "$L_UPID"); s0=0
            [ -n "$server" ] && s0=$(cpu_ns "$server")
            sleep "$cpu_seconds"
            c1=$(cpu_ns "$L_UPID"); t1=$(cpu_ticks "$L_UPID"); w1=$(write_calls "$L_UPID"); s1=0
            [ -n "$server" ] && s1=$(cpu_ns "$server")
            c=$(awk -v a="$c0" -v b="$c1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
            t=$(awk -v a="$t0" -v b="$t1" -v t="$clk_tck" 'BEGIN { printf "%.2f", (b - a) / t }')
            w=$(awk -v a="$w0" -v b="$w1" -v s="$cpu_seconds" 'BEGIN { printf "%.1f", (b - a) / s }')
            sc=$(awk -v a="$s0" -v b="$s1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
            cpu[$v]+=" $c"; cpu_ticks_s[$v]+=" $t"; writes[$v]+=" $w"; server_cpu[$v]+=" $sc"
            record cpu "$round" "$v" cpu_s "$c"; record cpu "$round" "$v" utime_stime_s "$t"
            record cpu "$round" "$v" write_calls_per_s "$w"; record cpu "$round" "$v" wineserver_cpu_s "$sc"
            cpu_note=", CPU $c s over ${cpu_seconds} s, $w write calls/s"
        fi
        echo "  round $round $v: start ${L_MS} ms, VmRSS $(mb "$r") MB, PSS $(mb "$p") MB, private dirty $(mb "$q") MB$cpu_note"
        stop "$L_UPID" "$L_WINPID"
    done
done

# ---- soak ----------------------------------------------------------------------------------
dir=$(prepare soak TorvekQuindle.exe)
printf '[main]\r\nrefresh=0.01\r\n[debug]\r\nmode=1\r\n' >"$dir/setting.ini"
refreshes() { cat "$dir"/Log/*.log 2>/dev/null | LC_ALL=C grep -c $'\xcc\xec'; }  # GBK 天: one per refresh line
soak_ok=0
if [ "$soak_refreshes" -gt 0 ] && launch "$dir" TorvekQuindle.exe; then
    soak_pid=$L_UPID
    first_gui=$(gui_sample "$L_WINPID"); read -r first_rss _ _ < <(mem_sample "$soak_pid")
    deadline=$(( $(date +%s) + soak_refreshes / 25 + 120 ))
    until [ "$(refreshes)" -ge "$soak_warmup" ] || [ "$(date +%s)" -gt "$deadline" ] || ! alive "$soak_pid"; do sleep 0.5; done
    t_start=$(now); n_start=$(refreshes); c_start=$(cpu_ns "$soak_pid")
    start_gui=$(gui_sample "$L_WINPID"); read -r start_rss _ start_priv < <(mem_sample "$soak_pid")
    series=""
    while alive "$soak_pid" && [ "$(date +%s)" -le "$deadline" ]; do
        n=$(refreshes)
        [ "$n" -ge "$soak_refreshes" ] && break
        read -r r _ _ < <(mem_sample "$soak_pid")
        series+=" $r"
        sleep 5
    done
    if alive "$soak_pid"; then
        end_gui=$(gui_sample "$L_WINPID"); read -r end_rss _ end_priv < <(mem_sample "$soak_pid")
        t_end=$(now); n_end=$(refreshes); c_end=$(cpu_ns "$soak_pid")
        soak_ok=1
    else
        echo "  the soak program ended by itself" >&2
    fi
    stop "$soak_pid" "$L_WINPID"
    cp "$dir"/Log/*.log "$results/soak-log.txt" 2>/dev/null
fi
if [ "$soak_ok" = 1 ]; then
    soak_seconds=$(awk -v a="$t_start" -v b="$t_end" 'BEGIN { printf "%.0f", b - a }')
    soak_rate=$(awk -v n="$((n_end - n_start))" -v s="$soak_seconds" 'BEGIN { r = 0; if (s + 0) r = n / s; printf "%.0f", r }')
    soak_cpu_us=$(awk -v c="$((c_end - c_start))" -v n="$((n_end - n_start))" 'BEGIN { r = 0; if (n > 0) r = c / n / 1000; printf "%.0f", r }')
    soak_cpu_share=$(awk -v c="$((c_end - c_start))" -v s="$soak_seconds" 'BEGIN { r = 0; if (s + 0) r = c / 1e9 / s * 100; printf "%.0f", r }')
    record soak 1 tq cpu_us_per_refresh "$soak_cpu_us"
    rss_min=$(printf '%s\n' $series "$start_rss" "$end_rss" | sort -n | head -n 1)
    rss_max=$(printf '%s\n' $series "$start_rss" "$end_rss" | sort -n | tail -n 1)
    for k in gdi user handles windows; do
        eval "soak_${k}_first=\$(kv $k <<<\"\$first_gui\")"
        eval "soak_${k}_start=\$(kv $k <<<\"\$start_gui\")"
        eval "soak_${k}_end=\$(kv $k <<<\"\$end_gui\")"
        eval "record soak 1 tq ${k}_first \"\$soak_${k}_first\"; record soak 1 tq ${k}_start \"\$soak_${k}_start\"; record soak 1 tq ${k}_end \"\$soak_${k}_end\""
    done
    record soak 1 tq refreshes "$n_end"; record soak 1 tq seconds "$soak_seconds"
    record soak 1 tq rss_first_kb "$first_rss"; record soak 1 tq rss_start_kb "$start_rss"; record soak 1 tq rss_end_kb "$end_rss"
    record soak 1 tq private_start_kb "$start_priv"; record soak 1 tq private_end_kb "$end_priv"
    rss_growth=$((end_rss - start_rss))
    stable=yes
    for k in gdi user handles; do
        eval "[ \"\$soak_${k}_start\" = \"\$soak_${k}_end\" ]" || stable=NO
    done
    awk -v d="$rss_growth" -v s="$start_rss" 'BEGIN { exit !(d > 256 && d > s / 100) }' && stable=NO
fi

# ---- ticks: the label against the clock, at second and at minute accuracy ----------------------
declare -A ticks
if [ "$tick_seconds" -gt 0 ]; then
    for accuracy in 0 1; do
        dir=$(prepare "ticks-$accuracy" TorvekQuindle.exe)
        printf '[main]\r\naccuracy=%s\r\n' "$accuracy" >"$dir/setting.ini"
        launch "$dir" TorvekQuindle.exe || continue
        ticks[$accuracy]=$(wine "$build/probe.exe" ticks "$L_WINPID" "$tick_seconds" "$accuracy" 2>>"$results/wine-stderr.txt")
        record ticks 1 tq "accuracy_$accuracy" "${ticks[$accuracy]// /,}"
        echo "  ticks at accuracy $accuracy over ${tick_seconds} s: ${ticks[$accuracy]}"
        stop "$L_UPID" "$L_WINPID"
    done
fi

# ---- fonts: start-up and the settings window's opening with many families installed ---------
font_families=${BENCH_FONT_FAMILIES:-1000}
font_runs=${BENCH_FONT_RUNS:-$([ "$quick" = 1 ] && echo 3 || echo 9)}
font_settings_rounds=${BENCH_FONT_SETTINGS_ROUNDS:-$([ "$quick" = 1 ] && echo 5 || echo 11)}
font_prefix=${BENCH_FONT_PREFIX:-$root/build/wineprefix-bench-fonts}
declare -A font_cpu font_settings
font_ok=0
# settings_font <prefix> <label> [stored name]: one settings_bench.exe run, its figures line
settings_font() {
    local out
    out=$(WINEPREFIX=$1 wine "$build/settings_bench.exe" "$font_settings_rounds" ${3:+"$3"} \
        2>>"$results/wine-stderr.txt" | tail -n 1)
    font_settings[$2]=$out
    record fonts 1 "$2" settings "${out// /,}"
    echo "  settings window, $2: $out"
}
if [ "$font_families" -gt 0 ] && [ -f "$build/settings_bench.exe" ]; then
    font_dir=$root/build/bench-fonts
    if [ "$(ls "$font_dir" 2>/dev/null | wc -l)" != "$font_families" ] ||
        [ bench/make_fonts.py -nt "$font_dir" ]; then
        rm -rf "$font_dir"
        "$python" bench/make_fonts.py "$font_dir" "$font_families" ||
            echo "  the fonts could not be made (is python3-fonttools installed?)"
    fi
    if [ ! -f "$font_prefix/system.reg" ]; then
        mkdir -p "$font_prefix"
        WINEPREFIX=$font_prefix wineboot -i >/dev/null 2>&1 </dev/null
        WINEPREFIX=$font_prefix wineserver -w
    fi
    if [ "$(ls "$font_dir" 2>/dev/null | wc -l)" = "$font_families" ]; then
        cp "$font_dir"/*.ttf "$font_prefix/drive_c/windows/Fonts/"
        WINEPREFIX=$font_prefix wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
            /d "$bench_dpi" /f >/dev/null 2>&1
        WINEPREFIX=$font_prefix wineserver -p >/dev/null 2>&1 </dev/null
        font_ok=1
    fi
fi
if [ "$font_ok" = 1 ]; then
    echo "== the font scale: $font_families more families in $font_prefix"
    gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
    # The variants: prefix, stored fontname of both labels ("" for none).
    # min-std and min-many: the bare window in each prefix, what the platform's own start
    # costs more with the fonts.
    declare -A font_variant_prefix=([std]=$WINEPREFIX [many]=$font_prefix [nomatch]=$font_prefix
        [listed]=$font_prefix [other]=$font_prefix [min-std]=$WINEPREFIX [min-many]=$font_prefix)
    declare -A font_variant_name=([std]="" [many]="" [nomatch]="Nothing Like It 1234"
        [listed]="测试字体0500" [other]="測試字體0500")
    for v in std many; do  # untimed: the new prefix registers its fonts at its first start
        dir=$(prepare "fwarm-$v" TorvekQuindle.exe)
        if WINEPREFIX=${font_variant_prefix[$v]} launch "$dir" TorvekQuindle.exe; then
            WINEPREFIX=${font_variant_prefix[$v]} stop "$L_UPID" "$L_WINPID"
        fi
    done
    for run in $(seq "$font_runs"); do
        for v in std many nomatch listed other min-std min-many; do
            exe=TorvekQuindle.exe
            [ "${v#min-}" != "$v" ] && exe=minimal_window.exe
            dir=$(prepare "f$run-$v" "$exe")
            if [ -n "${font_variant_name[$v]:-}" ]; then
                { printf '[mtfont]\r\nfontname='; gbk "${font_variant_name[$v]}"
                  printf '\r\n[ttfont]\r\nfontname='; gbk "${font_variant_name[$v]}"; printf '\r\n'; } >"$dir/setting.ini"
            fi
            WINEPREFIX=${font_variant_prefix[$v]} launch "$dir" "$exe" || continue
            font_cpu[$v]+=" $L_CPU_MS"
            record fonts "$run" "$v" start_cpu_ms "$L_CPU_MS"
            sleep 0.5
            WINEPREFIX=${font_variant_prefix[$v]} stop "$L_UPID" "$L_WINPID"
        done
    done
    echo "  start-up CPU, ms: standard fonts${font_cpu[std]:-}; many${font_cpu[many]:-}; no match${font_cpu[nomatch]:-}; listed name${font_cpu[listed]:-}; other-language name${font_cpu[other]:-}; bare window${font_cpu[min-std]:-} /${font_cpu[min-many]:-}"
    settings_font "$WINEPREFIX" std
    settings_font "$WINEPREFIX" std-nomatch "Nothing Like It 1234"
    settings_font "$font_prefix" many
    settings_font "$font_prefix" many-nomatch "Nothing Like It 1234"
    WINEPREFIX=$font_prefix wineserver -k >/dev/null 2>&1
fi
# field <figures line> <key>
field() { sed -nE "s/.*(^| )$2=([^ ]*).*/\2/p" <<<"$1"; }

# ---- summary -------------------------------------------------------------------------------
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
elapsed=$(( $(date +%s) - started_at ))
status=0
row() {  # row <measure> <tq> <min> <goal>: values as shown, the ratio from them
    local r; r=$(ratio "$2" "$3")
    local ok; ok=$(meets "$r" "$4")
    [ "$ok" = NO ] && status=1
    local goal="<= $4"
    [ "$4" = n/a ] && goal="-"
    printf '| %s | %s | %s | %s | %s | %s |\n' "$1" "$2" "$3" "$r" "$goal" "$ok"
}
mem_row() {  # mem_row <measure> <kB list a> <kB list b> <goal>: medians in MB, ratio from kB
    local a b r ok
    a=$(median $2); b=$(median $3)
    r=$(awk -v a="$a" -v b="$b" 'BEGIN { if (b + 0 == 0) print "n/a"; else printf "%.3f", a / b }')
    ok=$(meets "$r" "$4")
    [ "$ok" = NO ] && status=1
    printf '| %s | %s | %s | %s | <= %s | %s |\n' "$1" "$(mb "$a")" "$(mb "$b")" "$r" "$4" "$ok"
}
{
    echo "Wine $(wine --version 2>/dev/null), $(nproc) cores, $(date -u '+%Y-%m-%d %H:%M UTC'),"
    echo "load average $load_before before and $load_after after; $rounds round(s); ${elapsed} s in all."
    echo
    echo "| Start-up, medians of $start_runs alternating starts | TorvekQuindle | baseline | Ratio | Goal | Met |"
    echo "|---|---|---|---|---|---|"
    s_tq=$(median ${start_ms[tq]:-})
    row "Start to first painted countdown, ms, against the structural baseline" "$s_tq" "$(median ${start_ms[struct]:-})" n/a
    row "CPU time to just after the first paint, ms, against the structural baseline" "$(median ${start_cpu[tq]:-})" "$(median ${start_cpu[struct]:-})" 1.15
    row "Write system calls to just after the first paint, against the structural baseline" "$(median ${start_writes[tq]:-})" "$(median ${start_writes[struct]:-})" 1.15
    row "Start to first painted countdown, ms, against the bare window" "$s_tq" "$(median ${start_ms[min]:-})" n/a
    row "CPU time to just after the first paint, ms, against the bare window" "$(median ${start_cpu[tq]:-})" "$(median ${start_cpu[min]:-})" n/a
    row "Write system calls to just after the first paint, against the bare window" "$(median ${start_writes[tq]:-})" "$(median ${start_writes[min]:-})" n/a
    echo
    echo "Start-up runs, ms: TorvekQuindle${start_ms[tq]:-}; structural baseline${start_ms[struct]:-}; bare window${start_ms[min]:-}."
    echo "CPU time to the first paint, ms: TorvekQuindle${start_cpu[tq]:-}; structural baseline${start_cpu[struct]:-}; bare window${start_cpu[min]:-}."
    echo "Write system calls to the first paint: TorvekQuindle${start_writes[tq]:-}; structural baseline${start_writes[struct]:-}; bare window${start_writes[min]:-}."
    echo
    echo "| Measure | TorvekQuindle | minimal window | Ratio | Goal | Met |"
    echo "|---|---|---|---|---|---|"
    row "CPU time over ${cpu_seconds} s at 1 s refresh, s (median; utime+stime:${cpu_ticks_s[tq]:-} /${cpu_ticks_s[min]:-})" "$(median ${cpu[tq]:-})" "$(median ${cpu[min]:-})" 1.5
    mem_row "VmRSS after ${memory_at} s, MB (median)" "${rss[tq]:-}" "${rss[min]:-}" 1.3
    mem_row "PSS after ${memory_at} s, MB (median)" "${pss[tq]:-}" "${pss[min]:-}" 1.3
    mem_row "Private dirty after ${memory_at} s, MB (median)" "${priv[tq]:-}" "${priv[min]:-}" 1.3
    echo
    echo "Start-up runs with the large picture, ms:${start_ms[big]:-}."
    echo "CPU runs, s: TorvekQuindle${cpu[tq]:-}; minimal window${cpu[min]:-}. Write system calls (wineserver requests and X flushes)"
    echo "per second in the same windows: TorvekQuindle${writes[tq]:-}; minimal window${writes[min]:-} (ratio $(ratio "$(median ${writes[tq]:-})" "$(median ${writes[min]:-})"))."
    echo "wineserver CPU during the same windows, s: TorvekQuindle${server_cpu[tq]:-}; minimal window${server_cpu[min]:-}."
    if [ "$have_big" = 1 ]; then
        echo
        echo "| Large picture ($(awk -v b="$big_bytes" 'BEGIN { printf "%.1f", b / 1048576 }') MB 6000 x 4000 JPEG as background.pic) | with it | built-in picture | Ratio | Goal | Met |"
        echo "|---|---|---|---|---|---|"
        mem_row "VmRSS after ${memory_at} s, MB (median)" "${rss[big]:-}" "${rss[tq]:-}" 1.25
        mem_row "PSS after ${memory_at} s, MB (median)" "${pss[big]:-}" "${pss[tq]:-}" 1.25
        mem_row "Private dirty after ${memory_at} s, MB (median)" "${priv[big]:-}" "${priv[tq]:-}" 1.25
        row "Start to first painted countdown, ms (median)" "$(median ${start_ms[big]:-})" "$s_tq" "n/a"
    fi
    if [ -n "${ticks[0]:-}${ticks[1]:-}" ]; then
        echo
        echo "Time label against the clock over ${tick_seconds} s, read every 2 ms (lag from the second in which the value became true):"
        echo "second accuracy: ${ticks[0]:-not measured}; minute accuracy: ${ticks[1]:-not measured}."
    fi
    if [ "$font_ok" = 1 ]; then
        echo
        echo "| Font scale: $font_families more families, medians of $font_runs alternating starts | with | against | Ratio | Goal | Met |"
        echo "|---|---|---|---|---|---|"
        row "Start-up CPU time, ms: many fonts against the standard fonts, no stored name" "$(median ${font_cpu[many]:-})" "$(median ${font_cpu[std]:-})" 1.25
        row "Start-up CPU time, ms: the bare window with many fonts against the standard fonts (the platform's share)" "$(median ${font_cpu[min-many]:-})" "$(median ${font_cpu[min-std]:-})" n/a
        row "Start-up CPU time added by the fonts, ms: the program against the bare window" "$(awk -v a="$(median ${font_cpu[many]:-})" -v b="$(median ${font_cpu[std]:-})" 'BEGIN { printf "%.1f", a - b }')" "$(awk -v a="$(median ${font_cpu[min-many]:-})" -v b="$(median ${font_cpu[min-std]:-})" 'BEGIN { printf "%.1f", a - b }')" n/a
        row "Start-up CPU time, ms: a stored name that no family has against none (many fonts)" "$(median ${font_cpu[nomatch]:-})" "$(median ${font_cpu[many]:-})" 1.25
        row "Start-up CPU time, ms: a name only the font's table knows against its listed name (many fonts)" "$(median ${font_cpu[other]:-})" "$(median ${font_cpu[listed]:-})" 1.25
        for k in "" -nomatch; do
            a=${font_settings[many$k]:-}; b=${font_settings[std$k]:-}
            growth=$(awk -v a="$(field "$a" opening_cpu_ms)" -v b="$(field "$b" opening_cpu_ms)" 'BEGIN { printf "%.1f", a - b }')
            list_growth=$(awk -v a="$(field "$a" font_list_cpu_ms)" -v b="$(field "$b" font_list_cpu_ms)" 'BEGIN { printf "%.1f", a - b }')
            what="no stored name"; [ -n "$k" ] && what="a stored name that no family has"
            # A growth within the baseline's noise (under 1 ms) is compared with 1 ms.
            row "Settings window's opening, growth of CPU ms from $(field "$b" fonts) to $(field "$a" fonts) fonts, $what, against a program listing them into a combo box" "$growth" "$(awk -v g="$list_growth" 'BEGIN { print (g < 1 ? 1 : g) }')" 2
            row "The same growth in write system calls (wineserver requests and X flushes)" "$(awk -v a="$(field "$a" opening_writes)" -v b="$(field "$b" opening_writes)" 'BEGIN { print a - b }')" "$(awk -v a="$(field "$a" font_list_writes)" -v b="$(field "$b" font_list_writes)" 'BEGIN { d = a - b; print (d < 1 ? 1 : d) }')" n/a
        done
        # The run's one search of the fonts' own names comes at the first opening: what a name
        # that no family has adds to it, grown from the standard to the large prefix, in the
        # program's own CPU time (10 ms ticks under Wine), against the font-list program's growth.
        own() { awk -v a="$(field "${font_settings[$1]:-}" first_opening_own_cpu_ms)" -v b="$(field "${font_settings[$2]:-}" first_opening_own_cpu_ms)" 'BEGIN { print a - b }'; }
        growth=$(awk -v m="$(own many-nomatch many)" -v s="$(own std-nomatch std)" 'BEGIN { print m - s }')
        list_growth=$(awk -v a="$(field "${font_settings[many-nomatch]:-}" font_list_own_cpu_ms)" -v b="$(field "${font_settings[std-nomatch]:-}" font_list_own_cpu_ms)" 'BEGIN { printf "%.1f", a - b }')
        row "The run's one search for a stored name that no family has (first opening with it less without it), growth of the program's CPU ms, against a program listing the fonts into a combo box" "$growth" "$(awk -v g="$list_growth" 'BEGIN { print (g < 1 ? 1 : g) }')" 2
        echo
        echo "Start-up CPU time, ms: standard fonts${font_cpu[std]:-}; many fonts${font_cpu[many]:-}; no family's name${font_cpu[nomatch]:-}; listed name 测试字体0500${font_cpu[listed]:-}; its Traditional name 測試字體0500${font_cpu[other]:-}; the bare window with the standard fonts${font_cpu[min-std]:-} and with many${font_cpu[min-many]:-}."
        echo "Settings window (settings_bench.exe, $font_settings_rounds rounds; the first opening reads the name tables when the stored name is not listed):"
        for k in std std-nomatch many many-nomatch; do echo "- $k: ${font_settings[$k]:-not measured}"; done
    fi
    echo
    if [ "$soak_ok" = 1 ]; then
        echo "Soak, refresh=0.01 with [debug] mode=1: $n_end refreshes (log lines) in all, $((n_end - n_start)) of them in ${soak_seconds} s"
        echo "between the samples (${soak_rate} per second), at ${soak_cpu_us} µs of CPU per refresh (${soak_cpu_share}% of a core); stable: $stable."
        echo
        echo "| Soak | after first paint | after $n_start refreshes | after $n_end refreshes |"
        echo "|---|---|---|---|"
        echo "| VmRSS, kB | $first_rss | $start_rss | $end_rss (range during the soak $rss_min to $rss_max) |"
        echo "| Private dirty, kB | | $start_priv | $end_priv |"
        echo "| GDI objects | $soak_gdi_first | $soak_gdi_start | $soak_gdi_end |"
        echo "| USER objects (windows) | $soak_user_first | $soak_user_start | $soak_user_end |"
        echo "| Kernel handles | $soak_handles_first | $soak_handles_start | $soak_handles_end |"
        [ "$stable" = NO ] && status=1
    else
        echo "Soak: did not complete (see $results)."
        status=1
    fi
} >"$results/summary.md"

if [ -f "$results/smaps-tq.txt" ] && [ -f "$results/smaps-min.txt" ]; then
    "$python" - "$results/smaps-tq.txt" "$results/smaps-min.txt" >"$results/smaps-difference.txt" <<'EOF'
# Resident memory by mapping, TorvekQuindle against the minimal window, largest difference first.
import collections, sys
def load(path):
    sizes = collections.defaultdict(lambda: [0, 0])
    name = None
    for line in open(path):
        parts = line.split()
        if not parts:
            continue
        if not parts[0].endswith(":") and "-" in parts[0]:
            name = parts[5].rsplit("/", 1)[-1] if len(parts) > 5 else "[anonymous]"
        elif parts[0] == "Rss:":
            sizes[name][0] += int(parts[1])
        elif parts[0] == "Private_Dirty:":
            sizes[name][1] += int(parts[1])
    return sizes
a, b = load(sys.argv[1]), load(sys.argv[2])
rows = sorted(set(a) | set(b), key=lambda k: -(a.get(k, [0, 0])[0] - b.get(k, [0, 0])[0]))
print("%-32s %9s %9s %9s %11s %11s" % ("mapping", "RSS TQ", "RSS min", "diff kB", "dirty TQ", "dirty min"))
for k in rows:
    x, y = a.get(k, [0, 0]), b.get(k, [0, 0])
    if x != y:
        print("%-32s %9d %9d %9d %11d %11d" % (k[:32], x[0], y[0], x[0] - y[0], x[1], y[1]))
EOF
fi

echo
cat "$results/summary.md"
if [ -f "$results/smaps-difference.txt" ]; then
    echo
    echo "Resident memory by mapping, largest differences (all in $results/smaps-difference.txt):"
    head -n 9 "$results/smaps-difference.txt"
fi

if [ "${BENCH_UPDATE_DOC:-0}" = 1 ]; then
    doc=$root/docs/performance.md
    begin='<!-- wine-bench:begin -->'
    end='<!-- wine-bench:end -->'
    if [ -f "$doc" ] && grep -qF "$begin" "$doc" && grep -qF "$end" "$doc"; then
        awk -v b="$begin" -v e="$end" -v f="$results/summary.md" '
            $0 == b { print; while ((getline line < f) > 0) print line; skip = 1; next }
            $0 == e { skip = 0 }
            !skip { print }' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
        echo "figures written to $doc"
    else
        echo "no wine-bench markers in $doc; figures left in $results/summary.md"
    fi
fi

[ "${BENCH_STRICT:-0}" = 1 ] && exit "$status"
exit 0
