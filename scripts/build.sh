#!/usr/bin/env bash
# Configures and builds the Windows program (with its Wine tests) and the native core
# (sanitized unit tests). Each tree is configured once and rebuilt incrementally.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}

[ -f build/win32/CMakeCache.txt ] || cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/win32 -j"$jobs"

if [ "${1:-}" != "--win32-only" ]; then
    [ -f build/native/CMakeCache.txt ] || cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug \
        -DTQ_SANITIZE=ON >/dev/null
    cmake --build build/native -j"$jobs"
fi
