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
run_ctest() {  # run_ctest <build dir> <report folder as the test programs see it>
    local status
    (cd "$1" && GTEST_OUTPUT="xml:$2" ctest --output-on-failure --timeout 1200)
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

if ! bash scripts/build.sh; then
    echo "build failed"
    echo "0 passed, 1 failed"
    exit 1
fi

ctest_failed=0
echo "== native core tests (AddressSanitizer, UBSan)"
run_ctest build/native "$results/"

echo "== fuzzers (short run)"
fuzz_output=$(bash scripts/fuzz.sh 2>&1)
fuzz_status=$?
echo "$fuzz_output"
passed=$((passed + $(grep -c 'without a finding' <<<"$fuzz_output")))
failed=$((failed + $(grep -c 'FOUND A FAULT' <<<"$fuzz_output")))
[ $fuzz_status -ne 0 ] && [ "$(grep -c 'FOUND A FAULT' <<<"$fuzz_output")" -eq 0 ] && failed=$((failed + 1))

echo "== Windows tests under Wine"
source scripts/wine-env.sh
run_ctest build/win32 "Z:${results//\//\\}\\"
# Pictures of the settings and about windows for a person to compare with the forms.
bash scripts/form_screenshots.sh build/win32 || echo "form screenshots could not be taken"
tq_wine_cleanup

count_reports
if [ $ctest_failed -ne 0 ] && [ $failed -eq 0 ]; then
    failed=1  # a test program died before it could report
fi
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
