#!/usr/bin/env bash
# Installs, on Debian 12, whatever of the build and test tools is missing. Safe to run again.
#
# A mirror in the middle of a sync must not stop the steps that do not need what it cannot give:
# apt-get update is retried, then what can be installed is installed, what cannot is said in one
# line, and the later steps (qemu-user's 32-bit handler, locales, libzstd's sources) still run.
# Exit status: 0 when everything is there, 2 when something could not be installed or prepared
# (scripts/test.sh then skips, with the reason, what needs it), 1 on any other failure.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/apt-steps.sh"

packages=(
    cmake ninja-build g++ g++-multilib clang libclang-rt-14-dev pkg-config
    googletest libbenchmark-dev libcli11-dev
    zlib1g-dev libzstd-dev libdeflate-dev liblzma-dev libxxhash-dev xxhash
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 fonts-wine fonts-ipafont-gothic
    qemu-user-static
    xvfb xauth x11-utils imagemagick locales
    unzip zip zstd p7zip-full time bc
    osslsigncode openssl dpkg-dev
)
# From the i386 archive, whose libraries must match the native ones' versions exactly: the first
# to go when the mirror's i386 or security index is out of step. Only the PE32's Wine suite
# needs them.
i386_packages=(wine32:i386)

not_there() {
    local p
    for p in "$@"; do package_installed "$p" || echo "$p"; done
}

missing_native=($(not_there "${packages[@]}"))
missing_i386=($(not_there "${i386_packages[@]}"))
problems=()

if [ $((${#missing_native[@]} + ${#missing_i386[@]})) -gt 0 ]; then
    echo "Installing: $(echo "${missing_native[*]} ${missing_i386[*]}" | xargs)" >&2
    [ ${#missing_i386[@]} -eq 0 ] || as_root dpkg --add-architecture i386
    update_note=""
    apt_update_retrying || update_note=" (apt-get update still fails: $apt_update_error)"
    if ! apt_install "${missing_native[@]}" "${missing_i386[@]}"; then
        # One package the indexes cannot give fails the whole command: the native ones
        # together, then one by one, and the 32-bit ones apart.
        if [ ${#missing_native[@]} -gt 0 ] && ! apt_install "${missing_native[@]}"; then
            for p in "${missing_native[@]}"; do apt_install "$p" || true; done
        fi
        for p in "${missing_i386[@]}"; do apt_install "$p" || true; done
    fi
    still=($(not_there "${missing_native[@]}" "${missing_i386[@]}"))
    if [ ${#still[@]} -gt 0 ]; then
        echo "install-deps: could not install ${still[*]}$update_note; what needs them cannot run" >&2
        problems+=("packages")
    fi
fi

# Where the kernel does not execute 32-bit code, qemu-user's handler lets it.
"$here/i386-emulation.sh" >&2 || problems+=("32-bit emulation")

# Wine takes its ANSI code page from the locale, which must exist: Japanese (932) for every
# test, and the other language settings the program is also tried under (1252, 936, 949, and
# 65001 for hi_IN).
for wine_locale in ja_JP en_US zh_CN ko_KR hi_IN; do
    if ! locale -a 2>/dev/null | grep -qi "^$wine_locale.utf8$"; then
        as_root localedef -i "$wine_locale" -f UTF-8 "$wine_locale.UTF-8" ||
            { echo "install-deps: could not make the locale $wine_locale.UTF-8" >&2; problems+=("locales"); }
    fi
done

# The Windows builds compile libzstd from Debian's source package (pinned there).
"$here/fetch-zstd.sh" >/dev/null || problems+=("libzstd sources")

if [ ${#problems[@]} -gt 0 ]; then
    echo "install-deps: incomplete: ${problems[*]}" >&2
    exit 2
fi
