#!/usr/bin/env bash
# Builds everything and runs every test: the sanitized native core tests, a short run
# of each fuzzer, and the Windows tests under Wine on a virtual display. The last line
# sums up the test executables of all trees.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
passed=0
failed=0

count() {  # count <label> <exit status>
    if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

run_ctest() {  # run_ctest <build dir>: adds ctest's counts to the totals
    local log
    log=$(mktemp)
    (cd "$1" && ctest --output-on-failure --timeout 900) 2>&1 | tee "$log"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1)); echo "FAILED: ctest in $1 did not report"
    else
        local total bad
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
        passed=$((passed + total - bad)); failed=$((failed + bad))
    fi
    rm -f "$log"
}

if ! bash scripts/build.sh; then
    echo "build failed"
    echo "0 passed, 1 failed"
    exit 1
fi

echo "== native core tests (AddressSanitizer, UBSan)"
run_ctest build/native

echo "== fuzzers (short run)"
bash scripts/fuzz.sh
count fuzzers $?

echo "== Windows tests under Wine"
source scripts/wine-env.sh
run_ctest build/win32
tq_wine_cleanup

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
