#!/usr/bin/env bash
# Installs, on Debian 12, whatever of the build and test tools is missing. Safe to run again.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    googletest libbenchmark-dev libcli11-dev
    zlib1g-dev libzstd-dev libdeflate-dev liblzma-dev libxxhash-dev xxhash
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 fonts-wine fonts-ipafont-gothic
    xvfb xauth x11-utils imagemagick locales
    unzip zip zstd p7zip-full time bc
    osslsigncode openssl dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >&2
fi

# Wine takes its ANSI code page from the locale, which must exist: Japanese (932) for every
# test, and the other language settings the program is also tried under (1252, 936, 949, and
# 65001 for hi_IN).
for wine_locale in ja_JP en_US zh_CN ko_KR hi_IN; do
    if ! locale -a 2>/dev/null | grep -qi "^$wine_locale.utf8$"; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo localedef -i "$wine_locale" -f UTF-8 "$wine_locale.UTF-8"
    fi
done

# The Windows builds compile libzstd from Debian's source package (pinned there).
"$(dirname "${BASH_SOURCE[0]}")/fetch-zstd.sh" >/dev/null
