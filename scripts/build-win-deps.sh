#!/usr/bin/env bash
# Builds libjpeg-turbo (with its SIMD code, assembled by NASM) and giflib for the 32-bit
# Windows target from Debian's source packages into build/deps/install. Nothing of theirs
# is committed. A finished build is kept and reused while its configuration stays the same:
# build/deps/install/.done holds the configuration it was made with, and any other
# configuration (an older build without SIMD, a changed option or toolchain) rebuilds.
#
# With --bench it builds, instead, Google Benchmark from Debian's source package into
# build/deps/bench-install, for the Windows build of the picture benchmark that
# `make bench` runs under Wine (the tests do not need it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build/deps
prefix=$deps/install
toolchain=$root/cmake/mingw-i686.cmake

if [ "${1:-}" = --bench ]; then
    bench_prefix=$deps/bench-install
    bench_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBENCHMARK_ENABLE_TESTING=OFF
        -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF)
    config="benchmark ${bench_options[*]} toolchain $(sha256sum <"$toolchain" | cut -d' ' -f1)"
    [ -f "$bench_prefix/.done" ] && [ "$(cat "$bench_prefix/.done")" = "$config" ] && exit 0
    rm -rf "$bench_prefix"
    mkdir -p "$deps/src"
    cd "$deps/src"
    ls benchmark_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq benchmark 2>/dev/null
    rm -rf benchmark benchmark-build && mkdir benchmark
    tar -xf benchmark_*.orig.tar.* -C benchmark --strip-components=1
    cmake -S benchmark -B benchmark-build -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="$bench_prefix" "${bench_options[@]}" >benchmark-build.log 2>&1
    cmake --build benchmark-build -j2 >>benchmark-build.log
    cmake --install benchmark-build >>benchmark-build.log
    printf '%s\n' "$config" >"$bench_prefix/.done"
    echo "built Google Benchmark for i686-w64-mingw32 in $bench_prefix"
    exit 0
fi

nasm=$(command -v nasm) || { echo "nasm is missing (scripts/install-deps.sh installs it)"; exit 1; }
# REQUIRE_SIMD makes a missing or unusable assembler an error instead of a quiet build
# without SIMD; win32 is NASM's object format for 32-bit Windows (COFF). The build folder is
# mapped away from what the compiler writes, and NASM writes no time, so that the program
# built on them is the same in any folder (see also the strip below).
jpeg_options=(-DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER="$nasm"
    -DCMAKE_ASM_NASM_OBJECT_FORMAT=win32 -DCMAKE_ASM_NASM_FLAGS=--reproducible
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$deps/src/=")
gif_sources=(dgif_lib.c gif_err.c gifalloc.c gif_hash.c openbsd-reallocarray.c)
config=$(
    echo "libjpeg-turbo ${jpeg_options[*]}"
    echo "giflib ${gif_sources[*]} -O2"
    echo "file symbols stripped"
    echo "toolchain $(sha256sum <"$toolchain" | cut -d' ' -f1)"
    echo "$("$nasm" -v)"
)
[ -f "$prefix/.done" ] && [ "$(cat "$prefix/.done")" = "$config" ] && exit 0

rm -rf "$prefix"
mkdir -p "$deps/src" "$prefix/include" "$prefix/lib"
cd "$deps/src"

# apt refuses to drop privileges to its sandbox user inside some folders; the warning
# is harmless, the download still lands here.
ls libjpeg-turbo_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq libjpeg-turbo 2>/dev/null
ls giflib_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq giflib 2>/dev/null

rm -rf jpeg jpeg-build gif && mkdir jpeg gif
tar -xf libjpeg-turbo_*.orig.tar.* -C jpeg --strip-components=1
tar -xf giflib_*.orig.tar.* -C gif --strip-components=1

cmake -S jpeg -B jpeg-build -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${jpeg_options[@]}" >jpeg-build.log
cmake --build jpeg-build -j2 >>jpeg-build.log
cmake --install jpeg-build >>jpeg-build.log
# NASM names each object's source by its full path in a file symbol (COFF's .file), which the
# program's symbol file keeps and the executable's debug link checksums: a build folder would
# reach the executable. Those symbols are debugging symbols to binutils; nothing else goes.
i686-w64-mingw32-objcopy --strip-debug "$prefix/lib/libjpeg.a"
# The SIMD code is in the library: its inverse DCT entry points (SSE2 and AVX2), which the
# decoder picks at run time by what the processor has.
symbols=$(i686-w64-mingw32-nm "$prefix/lib/libjpeg.a" 2>/dev/null)
for symbol in jsimd_idct_islow_sse2 jsimd_idct_islow_avx2; do
    grep -q " T _$symbol\$" <<<"$symbols" ||
        { echo "libjpeg.a has no $symbol: built without SIMD (see $deps/src/jpeg-build.log)"; exit 1; }
done

# Only giflib's decoder is needed.
for f in "${gif_sources[@]}"; do
    i686-w64-mingw32-gcc-posix -O2 -c "gif/$f" -o "gif/${f%.c}.o"
done
i686-w64-mingw32-ar rcs "$prefix/lib/libgif.a" gif/*.o
cp gif/gif_lib.h "$prefix/include/"
printf '%s\n' "$config" >"$prefix/.done"
echo "built libjpeg-turbo (SIMD) and giflib for i686-w64-mingw32 in $prefix"
