#!/usr/bin/env bash
# `make bench`: builds what the benchmarks need and runs them.
#   1. The Windows program, the minimal window and its structural variant it is compared
#      with, and the probe, in the Windows tree (build/win32, or TQ_BENCH_BUILD), then
#      bench/wine_bench.sh under Wine: whole-process ratios against those baselines, the
#      time label against the clock, and the font scale (start-up and the settings window's
#      opening with 1,000 more font families in a second prefix) (about 18 minutes;
#      BENCH_QUICK=1 for about four).
#   2. bench/settings_bench.cpp under Wine: the settings window's opening and Apply
#      against baselines in the same run (SETTINGS_BENCH_ROUNDS, 15).
#   3. The picture benchmark (bench/picture_bench.cpp): natively in build/bench, a Release
#      tree with TQ_BENCH=ON (it needs libbenchmark-dev), and as the Windows build under Wine
#      (Google Benchmark built for the target by `scripts/build-win-deps.sh --bench`), the
#      latter a second time with libjpeg-turbo's SIMD code forced off (JSIMD_FORCENONE=1),
#      one after another in this run; bench/picture_summary.py compares them
#      (build/bench-picture/summary.md). CORE_BENCH_ARGS are passed to every run.
# The figures and how to reproduce them are in docs/performance.md. Exit status: non-zero
# only when something could not be built or run (BENCH_STRICT=1 adds missed goals).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
win_tree=${TQ_BENCH_BUILD:-build/win32}
status=0

echo "== building $win_tree (TorvekQuindle, minimal_window, structural_window, probe)"
if [ ! -f "$win_tree/CMakeCache.txt" ]; then
    cmake -S . -B "$win_tree" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null || exit 1
fi
cmake --build "$win_tree" -j"$jobs" --target TorvekQuindle minimal_window structural_window probe settings_bench || exit 1
win_core_bench=""
if bash scripts/build-win-deps.sh --bench && cmake --build "$win_tree" -j"$jobs" --target core_bench; then
    win_core_bench=$win_tree/core_bench.exe
else
    echo "the Windows picture benchmark did not build; it is skipped"
fi

core_bench=""
echo "== building build/bench (native, Release, TQ_BENCH=ON)"
if cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTQ_BENCH=ON >/dev/null &&
    cmake --build build/bench -j"$jobs" --target core_bench; then
    core_bench=build/bench/core_bench
else
    echo "core_bench did not build (is libbenchmark-dev installed?); the native benchmark is skipped"
fi

echo "== whole-process benchmarks under Wine"
TQ_BENCH_BUILD="$win_tree" bash bench/wine_bench.sh || status=1

echo "== the settings window's opening and Apply under Wine"
(
    source scripts/wine-env.sh
    wine "$win_tree/settings_bench.exe" "${SETTINGS_BENCH_ROUNDS:-15}" 2>/dev/null
    code=$?
    tq_wine_cleanup
    exit "$code"
) || status=1

picture_results=build/bench-picture
rm -rf "$picture_results" && mkdir -p "$picture_results"
bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
# Wine counts thread CPU time in 10 ms clock ticks: runs of at least 0.2 s keep that
# within 5 %.
[ "${BENCH_QUICK:-0}" = 1 ] && bench_args=(--benchmark_min_time=0.2)
if [ -n "$core_bench" ]; then
    echo "== picture benchmark, native"
    # shellcheck disable=SC2086
    "$core_bench" "${bench_args[@]}" --benchmark_out="$picture_results/native.json" \
        --benchmark_out_format=json ${CORE_BENCH_ARGS:-} || status=1
fi
if [ -n "$win_core_bench" ]; then
    (
        source scripts/wine-env.sh
        echo "== picture benchmark, Windows build under Wine"
        # shellcheck disable=SC2086
        wine "$win_core_bench" "${bench_args[@]}" --benchmark_out="$picture_results/windows.json" \
            --benchmark_out_format=json ${CORE_BENCH_ARGS:-} 2>/dev/null
        code=$?
        # The same program with libjpeg-turbo's SIMD code switched off at run time: what
        # the SIMD code saves, and proof that it is the path taken.
        echo "== picture benchmark, Windows build under Wine, SIMD forced off (JSIMD_FORCENONE=1)"
        # shellcheck disable=SC2086
        JSIMD_FORCENONE=1 wine "$win_core_bench" "${bench_args[@]}" --benchmark_filter='Decode|Default' \
            --benchmark_out="$picture_results/windows-without-simd.json" --benchmark_out_format=json \
            ${CORE_BENCH_ARGS:-} 2>/dev/null || code=1
        tq_wine_cleanup
        exit "$code"
    ) || status=1
fi
if [ -n "$core_bench" ] && [ -n "$win_core_bench" ]; then
    {
        echo "$(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg) after the runs:"
        echo
        /usr/bin/python3 bench/picture_summary.py "$picture_results/native.json" \
            "$picture_results/windows.json" "$picture_results/windows-without-simd.json"
    } >"$picture_results/summary.md"
    echo
    cat "$picture_results/summary.md"
    doc=docs/performance.md
    begin='<!-- picture-bench:begin -->'
    end='<!-- picture-bench:end -->'
    if [ "${BENCH_UPDATE_DOC:-0}" = 1 ] && grep -qF "$begin" "$doc" && grep -qF "$end" "$doc"; then
        awk -v b="$begin" -v e="$end" -v f="$picture_results/summary.md" '
            $0 == b { print; while ((getline line < f) > 0) print line; skip = 1; next }
            $0 == e { skip = 0 }
            !skip { print }' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
        echo "figures written to $doc"
    fi
fi
exit "$status"
