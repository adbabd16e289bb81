#!/usr/bin/env bash
# Builds libjpeg-turbo and giflib for the 32-bit Windows target from Debian's source
# packages into build/deps/install. Nothing of theirs is committed; a finished build is
# kept and reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build/deps
prefix=$deps/install
[ -f "$prefix/.done" ] && exit 0
mkdir -p "$deps/src" "$prefix/include" "$prefix/lib"
cd "$deps/src"

# apt refuses to drop privileges to its sandbox user inside some folders; the warning
# is harmless, the download still lands here.
ls libjpeg-turbo_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq libjpeg-turbo 2>/dev/null
ls giflib_*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq giflib 2>/dev/null

rm -rf jpeg gif && mkdir jpeg gif
tar -xf libjpeg-turbo_*.orig.tar.* -C jpeg --strip-components=1
tar -xf giflib_*.orig.tar.* -C gif --strip-components=1

cmake -S jpeg -B jpeg-build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF >/dev/null
cmake --build jpeg-build -j2 >/dev/null
cmake --install jpeg-build >/dev/null

# Only giflib's decoder is needed.
gif_sources=(dgif_lib.c gif_err.c gifalloc.c gif_hash.c openbsd-reallocarray.c)
for f in "${gif_sources[@]}"; do
    i686-w64-mingw32-gcc-posix -O2 -c "gif/$f" -o "gif/${f%.c}.o"
done
i686-w64-mingw32-ar rcs "$prefix/lib/libgif.a" gif/*.o
cp gif/gif_lib.h "$prefix/include/"
touch "$prefix/.done"
echo "built libjpeg-turbo and giflib for i686-w64-mingw32 in $prefix"
