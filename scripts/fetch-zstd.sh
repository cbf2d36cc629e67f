#!/usr/bin/env bash
# Fetches and unpacks Debian's source package of libzstd for the Windows builds, which compile
# its decoder (and, for filespack.exe, its encoder) with the project's toolchains. Natively the
# build links Debian's libzstd-dev of the same upstream version, so every build of filespack
# reads and writes the same frames. Safe to run again: an unpacked tree of the current Debian
# version is kept.
#
# The upstream version is pinned: when Debian ships a new revision of it (a security fix), the
# next run unpacks that one beside the old; a different upstream version stops here until the
# pin below and the sources list in cmake/Zstd.cmake are checked against it.
set -euo pipefail

pinned=1.5.4
cache=${FILESPACK_DEPS:-/var/cache/filespack}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/apt-steps.sh"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

native=$(dpkg-query -W -f='${Version}' libzstd-dev 2>/dev/null || true)
if [ -n "$native" ] && [ "${native%%+*}" != "$pinned" ]; then
    echo "fetch-zstd: libzstd-dev is $native, the build is pinned to $pinned" >&2
    exit 1
fi

versions() { apt-cache showsrc libzstd 2>/dev/null | sed -n 's/^Version: //p' | sort -Vr; }
listed() { [ -n "$(versions)" ]; }
unpacked() { [ -f "$cache/zstd-$pinned/lib/zstd.h" ]; }

# Source entries beside the binary ones, in a file of their own. An update is needed only when
# apt lists no source of libzstd; it may fail for an index that has nothing to do with it (a
# mirror syncing its i386 index), so what counts is whether the listing is there afterwards.
sources=${FILESPACK_DEB_SRC_LIST:-/etc/apt/sources.list.d/filespack-deb-src.sources}
if [ ! -f "$sources" ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$sources" >/dev/null
fi
if ! listed && ! unpacked; then
    apt_update_retrying listed || echo "fetch-zstd: apt-get update failed; trying with the indexes it did fetch" >&2
fi
if ! listed && unpacked; then
    # Nothing to choose from, but a tree of the pinned version is already here: keep it.
    readlink -f "$cache/zstd-$pinned"
    exit 0
fi

# The newest revision of the pinned version that can be fetched: a security archive may carry
# binaries whose sources it does not serve.
for version in $(versions); do
    upstream=${version%%+*}
    upstream=${upstream%%-*}
    [ "$upstream" = "$pinned" ] || continue
    tree="$cache/zstd-$version"
    if [ -f "$tree/lib/zstd.h" ]; then
        $sudo ln -sfn "zstd-$version" "$cache/zstd-$pinned.new" && $sudo mv -T "$cache/zstd-$pinned.new" "$cache/zstd-$pinned"
        echo "$tree"
        exit 0
    fi
    $sudo mkdir -p "$cache"
    work=$($sudo mktemp -d "$cache/fetch.XXXXXX")
    if (cd "$work" && $sudo apt-get source --download-only -qq "libzstd=$version" >/dev/null 2>&1 &&
        $sudo dpkg-source --no-check -x ./*.dsc unpacked >/dev/null); then
        $sudo mv "$work/unpacked" "$tree"
        $sudo rm -rf "$work"
        $sudo ln -sfn "zstd-$version" "$cache/zstd-$pinned.new" && $sudo mv -T "$cache/zstd-$pinned.new" "$cache/zstd-$pinned"
        echo "$tree"
        exit 0
    fi
    $sudo rm -rf "$work"
    echo "fetch-zstd: the sources of libzstd $version cannot be fetched, trying an older revision" >&2
done
echo "fetch-zstd: no source package of libzstd $pinned can be fetched" >&2
exit 1
