#!/usr/bin/env bash
# Builds everything and runs every test: the sanitized native core tests, a short run
# of each fuzzer, and the Windows tests under Wine on a virtual display. The last line
# sums up the test cases of every test program (and one per fuzzer).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
results=$root/build/results
rm -rf "$results"
mkdir -p "$results"
passed=0
failed=0

# Each GoogleTest program writes an XML report into build/results; a program that
# crashed or did not run leaves none and counts as one failure through ctest.
run_ctest() {  # run_ctest <build dir> <report folder as the test programs see it> [ctest options]
    local status dir=$1 report=$2
    shift 2
    (cd "$dir" && GTEST_OUTPUT="xml:$report" ctest --output-on-failure --timeout 1200 "$@")
    status=$?
    [ $status -ne 0 ] && ctest_failed=1
}

count_reports() {
    local f tests failures
    for f in "$results"/*.xml; do
        [ -f "$f" ] || continue
        tests=$(grep -m1 -o '<testsuites tests="[0-9]*"' "$f" | grep -o '[0-9]*')
        failures=$(grep -m1 -o '<testsuites [^>]*failures="[0-9]*"' "$f" | grep -o 'failures="[0-9]*"' | grep -o '[0-9]*')
        passed=$((passed + ${tests:-0} - ${failures:-0}))
        failed=$((failed + ${failures:-0}))
    done
}

# The installer and the zip too: the install flow test installs what `make dist` ships.
if ! bash scripts/build.sh || ! bash scripts/dist.sh >/dev/null || ! bash scripts/fuzz.sh --build-only; then
    echo "build failed"
    echo "0 passed, 1 failed"
    exit 1
fi

ctest_failed=0
# The Windows tests take most of the time and mostly wait on Wine (timers, the ten-second
# hide, fades, windows coming and going), so they run side by side, each program in
# TEST_SHARDS (2) parts, GoogleTest's shards. Each part runs in a Wine prefix and on a
# virtual display of its own, so that the real program started by one driver never meets
# the windows, the single-instance lock or the files of another. The native tests and the
# fuzzers run meanwhile.
shards=${TEST_SHARDS:-2}
win_results="Z:${results//\//\\}\\"
wine_session() {  # wine_session <name> <ctest options...>: in the background, output to a log
    local name=$1
    shift
    (
        unset DISPLAY
        export WINEPREFIX=$root/build/wineprefix-$name
        source scripts/wine-env.sh
        run_ctest build/win32 "$win_results$name.xml" "$@"
        if [ "$name" = win-0 ]; then
            # Pictures of the settings and about windows to compare with the forms by eye.
            env -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX bash scripts/form_screenshots.sh build/win32 ||
                echo "form screenshots could not be taken"
        fi
        tq_wine_cleanup
        exit $ctest_failed
    ) >"$results/$name.log" 2>&1 &
    session_pids+=($!)
    session_names+=("$name")
}
echo "== Windows tests under Wine: win_tests and e2e_tests, $shards parts each, the install flow and the release check, side by side"
session_pids=()
session_names=()
for ((shard = 0; shard < shards; shard++)); do
    only_once=
    [ $shard -eq 0 ] && only_once='|wide_imports|hardening'
    export GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$shard
    wine_session "win-$shard" -R "^(win_tests$only_once)\$"
    wine_session "e2e-$shard" -R '^e2e_tests$'
done
unset GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX
# The scripted tests make a Wine prefix and a display of their own: install, upgrade and
# uninstall; the release built again elsewhere to the same bytes, signed and verified (one
# program build on one core, and an install under Wine).
script_session() {  # script_session <name> <ctest test name>: in the background, output to a log
    (
        unset DISPLAY
        run_ctest build/win32 "$win_results" -R "^$2\$"
        exit $ctest_failed
    ) >"$results/$1.log" 2>&1 &
    session_pids+=($!)
    session_names+=("$1")
}
script_session dist install_flow
script_session release release_check

echo "== native core tests (AddressSanitizer, UBSan)"
run_ctest build/native "$results/"

echo "== fuzzers (short run)"
fuzz_output=$(bash scripts/fuzz.sh 2>&1)
fuzz_status=$?
echo "$fuzz_output"
passed=$((passed + $(grep -c 'without a finding' <<<"$fuzz_output")))
failed=$((failed + $(grep -c 'FOUND A FAULT' <<<"$fuzz_output")))
[ $fuzz_status -ne 0 ] && [ "$(grep -c 'FOUND A FAULT' <<<"$fuzz_output")" -eq 0 ] && failed=$((failed + 1))

for i in "${!session_pids[@]}"; do
    wait "${session_pids[$i]}" || ctest_failed=1
    echo "== ${session_names[$i]}"
    cat "$results/${session_names[$i]}.log"
done

count_reports
if [ $ctest_failed -ne 0 ] && [ $failed -eq 0 ]; then
    failed=1  # a test program died before it could report
fi
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
