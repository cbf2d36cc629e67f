#!/usr/bin/env bash
# A product's target builds on its own in a fresh build tree, with Ninja and with Makefiles: the
# product must depend on every target whose output it packs or stamps, not only on the files.
# With HOST_FILESPACK (a native filespack built before) only the program and the product are
# built here.
# Usage: scripts/check-product-builds-alone.sh [HOST_FILESPACK]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
host=${1:-}
jobs=$(nproc)
for generator in Ninja "Unix Makefiles"; do
    dir=build/product-alone-${generator// /-}
    rm -rf "$dir"
    cmake -S . -B "$dir" -G "$generator" --toolchain cmake/mingw-i686.cmake \
        -DCMAKE_BUILD_TYPE=Release -DFILESPACK_TESTS=OFF ${host:+"-DFILESPACK_HOST_TOOL=$host"} \
        >/dev/null
    cmake --build "$dir" --target quolta -j "$jobs" >/dev/null
    [ -f "$dir/samples/QuoltaSetup.exe" ] || { echo "$generator: no QuoltaSetup.exe" >&2; exit 1; }
    rm -rf "$dir"
done
echo "the sample product's target builds alone with Ninja and with Makefiles"
