#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang and runs each for FUZZ_SECONDS (default 5)
# from a generated seed corpus. Exits non-zero when a fuzzer finds a fault. With
# --build-only it only builds them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-5}
[ -f build/fuzz/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B build/fuzz \
    -DTQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j"${JOBS:-2}"
[ "${1:-}" = --build-only ] && exit 0
mkdir -p build/fuzz/seeds
/usr/bin/python3 fuzz/make_seeds.py build/fuzz/seeds >/dev/null
status=0
for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=build/fuzz/seeds/${name#fuzz_}
    [ -d "$seeds" ] || seeds=
    if "$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix=build/fuzz/ \
        "$corpus" $seeds >"build/fuzz/$name.log" 2>&1; then
        echo "fuzz: $name ran ${seconds}s without a finding"
    else
        echo "fuzz: $name FOUND A FAULT, see build/fuzz/$name.log"
        tail -n 30 "build/fuzz/$name.log"
        status=1
    fi
done
exit $status
