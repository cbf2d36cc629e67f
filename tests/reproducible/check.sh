#!/usr/bin/env bash
# Builds the generic program a second time from the same sources in another folder, with a
# longer path, and stamps the sample product with each build: both pairs must be the same bytes.
#   check.sh SOURCE_DIR FILESPACK FIRST_PROGRAM SCRATCH
set -euo pipefail
source_dir=$1 filespack=$2 first=$3 scratch=$4

rm -rf "$scratch"
second_build="$scratch/a longer folder name for the second build"
mkdir -p "$second_build"
cmake -S "$source_dir" -B "$second_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DFILESPACK_PROGRAM_ONLY=ON -DFILESPACK_TESTS=OFF >/dev/null
cmake --build "$second_build" --target filespack_stub -j 2 >/dev/null
second="$second_build/program/filespack-stub.exe"
cmp "$first" "$second"

stamp() {
    mkdir -p "$scratch/$1"
    "$filespack" exe "$scratch/$1/QuoltaSetup.exe" "$source_dir/samples/quolta" -q \
        --stub "$2" --mtime 1280620800 --name Quolta \
        --description "インターネット電話 Quolta" --product-version "Ver 1.71" \
        --caption "SelfUnpack - Quolta" --resource-name QUOLTA 2>/dev/null
}
stamp one "$first"
stamp two "$second"
cmp "$scratch/one/QuoltaSetup.exe" "$scratch/two/QuoltaSetup.exe"
echo "the same bytes: $(sha256sum < "$scratch/one/QuoltaSetup.exe")"
rm -rf "$scratch"
