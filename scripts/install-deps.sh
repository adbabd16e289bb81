#!/usr/bin/env bash
# Installs everything the build, the Wine tests and `make run` need on a Debian 12
# machine, as root. Idempotent: a machine that has everything is left as it is.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
    cmake make g++ clang llvm libclang-rt-14-dev
    g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
    googletest libgtest-dev libbenchmark-dev
    libjpeg62-turbo-dev libgif-dev nasm
    xvfb xauth imagemagick x11-utils locales fonts-wqy-microhei fonts-dejavu-core
    python3 python3-pil python3-fonttools icoutils dpkg-dev
    wine wine32:i386 wine64
    nsis zip osslsigncode openssl
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

src_list=/etc/apt/sources.list.d/debian-src.sources
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
    # Source packages (libjpeg-turbo, giflib) are built for the Windows target by
    # scripts/build-win-deps.sh; derive the deb-src entry from the machine's own.
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
    need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine derives the ANSI code page from the locale: zh_CN gives code page 936 (GBK).
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
