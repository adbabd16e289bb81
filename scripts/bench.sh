#!/usr/bin/env bash
# `make bench`: builds what the benchmarks need and runs them.
#   1. The Windows program, the minimal window and its structural variant it is compared
#      with, and the probe, in the Windows tree (build/win32, or TQ_BENCH_BUILD), then
#      bench/wine_bench.sh under Wine: whole-process ratios against those baselines and the
#      time label against the clock (about 14 minutes; BENCH_QUICK=1 for about two).
#   2. bench/settings_bench.cpp under Wine: the settings window's opening and Apply
#      against baselines in the same run (SETTINGS_BENCH_ROUNDS, 15).
#   3. The native picture benchmark (bench/picture_bench.cpp) in build/bench, a Release tree
#      with TQ_BENCH=ON, when it builds (it needs libbenchmark-dev). CORE_BENCH_ARGS are
#      passed to it.
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

if [ -n "$core_bench" ]; then
    echo "== native picture benchmark"
    quick_args=()
    [ "${BENCH_QUICK:-0}" = 1 ] && quick_args=(--benchmark_min_time=0.05)
    # shellcheck disable=SC2086
    "$core_bench" "${quick_args[@]}" ${CORE_BENCH_ARGS:-} || status=1
fi
exit "$status"
