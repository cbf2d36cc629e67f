#!/usr/bin/env bash
# The chunk pipeline's decode speed by build, on the same package in one run: native x86-64,
# 64-bit Windows under 64-bit Wine and, where this host executes 32-bit code, the shipped 32-bit
# program's build under 32-bit Wine against a native 32-bit build (`g++ -m32`, where
# g++-multilib is installed). Each is bench/decode_speed built with the same compiler flags as
# the presets (-O3, static on Windows), pinned to one core; rounds alternate between the builds
# so that a busy moment does not fall on one alone, and each keeps its best pass. Ratios are to
# the native build of the same width.
#
#   bench/windows-speed.sh [--passes N] [--rounds N] [--before COMMIT] [--method classic|zstd]
#   bench/windows-speed.sh --program [--rounds N] [--unpack-to DIR]
#
# --program times the generic program itself instead: each Windows build this host runs (win64;
# win32 where 32-bit Wine runs), stamped with the benchmark data as zstd pieces and as a stream,
# unpacking unattended (`/S /UNPACK=`, writing the files); rounds alternate between the two
# products and each keeps its best round. --unpack-to: where the files go (default: under build/),
# such as a memory file system, where a disk's journal adds nothing to either product.
#
# zstd chunks are decoded by Debian's libzstd source (scripts/fetch-zstd.sh) compiled alike for
# every build, natively too, so that each Windows build meets its exact native twin.
# --before also builds every variant from COMMIT's codec/ and measures it in the same rounds.
# The package is the benchmark data (bench/make-data.sh) packed by this tree's filespack with
# the default block size. The table also goes to build/bench-results/windows-speed.md.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
passes=3
rounds=3
before=
method=classic
program=0
unpack_to=
while [ $# -gt 0 ]; do
    case $1 in
        --program) program=1; shift ;;
        --unpack-to) unpack_to=${2:?}; shift 2 ;;
        --passes) passes=${2:?}; shift 2 ;;
        --rounds) rounds=${2:?}; shift 2 ;;
        --before) before=${2:?}; shift 2 ;;
        --method) method=${2:?}; shift 2 ;;
        *) echo "usage: bench/windows-speed.sh [--passes N] [--rounds N] [--before COMMIT]" >&2
           exit 2 ;;
    esac
done
core=${BENCH_CORE:-1}
out=build/bench-speed
mkdir -p "$out" build/bench-results

# The generic program under Wine, on products of the benchmark data.
program_speed() {
    local fp=$repo/build/release/tools/filespack/filespack files=$repo/build/bench-data/files
    local arches=(win64) arch method round
    # The PE32 where 32-bit Wine is there to run it.
    scripts/can-run-win32.sh && [ -x /usr/lib/wine/wine ] && arches+=(win32)
    cmake --preset release >/dev/null
    cmake --build build/release -j2 --target filespack >/dev/null
    bench/make-data.sh build/bench-data >&2
    declare -A best
    for arch in "${arches[@]}"; do
        cmake --preset "$arch" >/dev/null
        cmake --build "build/$arch" -j2 --target filespack_stub >/dev/null
        scripts/wine-prefix.sh "$arch"
        for method in zstd stream; do
            "$fp" exe -q --mtime 0 --method "$method" --stub "build/$arch/program/filespack-stub.exe" \
                --name Bench --description Bench --product-version 1 --caption Bench \
                "$out/product-$arch-$method.exe" "$files"
        done
    done
    for arch in "${arches[@]}"; do
        for round in $(seq "$rounds"); do
            for method in zstd stream; do
                local to=${unpack_to:-$repo/$out}/unpacked-$arch-$method seconds
                rm -rf "$to"
                seconds=$(xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
                    source scripts/wine-env.sh "$1"
                    wineserver -p; "$WINE" wineboot </dev/null >/dev/null 2>&1
                    start=$(date +%s.%N)
                    "$WINE" "$2" /S "/UNPACK=Z:$(echo "$3" | tr / \\\\)" </dev/null >/dev/null 2>&1 ||
                        { echo failed; exit 0; }
                    echo "$(date +%s.%N) - $start" | bc
                    wineserver -k' _ "$arch" "$out/product-$arch-$method.exe" "$to")
                [ "$seconds" != failed ] && diff -r "$files" "$to" >/dev/null ||
                    { echo "$arch $method: the unpacked files differ" >&2; exit 1; }
                echo "round $round, $arch $method: $seconds s" >&2
                if [ -z "${best[$arch-$method]:-}" ] ||
                    [ "$(echo "$seconds < ${best[$arch-$method]}" | bc)" = 1 ]; then
                    best[$arch-$method]=$seconds
                fi
            done
        done
    done
    rm -rf "${unpack_to:-$repo/$out}"/unpacked-*
    {
        echo "| build | zstd pieces s | stream s | stream against zstd pieces |"
        echo "|---|---|---|---|"
        for arch in "${arches[@]}"; do
            printf '| %s | %.2f | %.2f | %.2f |\n' "$arch" "${best[$arch-zstd]}" \
                "${best[$arch-stream]}" "$(echo "${best[$arch-stream]} / ${best[$arch-zstd]}" | bc -l)"
        done
    } | tee build/bench-results/program-speed.md
}
if [ "$program" = 1 ]; then
    program_speed
    exit 0
fi

# variant name -> compiler command (the last word is the output's suffix)
declare -A compiler=(
    [native]="g++"
    [win64]="x86_64-w64-mingw32-g++-posix -static"
)
widths=(native win64)
if echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; then
    compiler[native-m32]="g++ -m32"
    widths+=(native-m32)
fi
if scripts/can-run-win32.sh; then
    compiler[win32]="i686-w64-mingw32-g++-posix -static"
    widths+=(win32)
fi

zstd=$(scripts/fetch-zstd.sh)/lib
zstd_sources=("$zstd"/common/{entropy_common,error_private,fse_decompress,xxhash,zstd_common}.c
              "$zstd"/decompress/{huf_decompress,zstd_ddict,zstd_decompress,zstd_decompress_block}.c)

# build TREE LABEL: decode_speed for every width from TREE's codec/ (this tree's bench and
# package header reader, which only read the package), the encoders left out.
build() {
    local tree=$1 label=$2 width
    for width in "${widths[@]}"; do
        local exe=$out/$label-$width
        [[ $width == win* ]] && exe+=.exe
        local cc=${compiler[$width]/g++/gcc} objects=() source
        mkdir -p "$out/zstd-$width"
        for source in "${zstd_sources[@]}"; do
            objects+=("$out/zstd-$width/$(basename "$source" .c).o")
            [ -f "${objects[-1]}" ] || $cc -O3 -DNDEBUG -DZSTD_LEGACY_SUPPORT=0 -DZSTD_DISABLE_ASM=1 \
                -DXXH_NAMESPACE=ZSTD_ -c "$source" -o "${objects[-1]}"
        done
        # The decoder's sources, as the codec target lists them: no encoder, and the content
        # block's seam for the platform.
        local codec=($(ls "$tree"/codec/*.cpp |
            grep -v -e _encode -e chunk_encoder -e code_lengths -e content_block))
        local block=$tree/codec/content_block_posix.cpp
        [[ $width == win* ]] && block=$tree/codec/content_block_portable.cpp
        [ -f "$block" ] && codec+=("$block")
        ${compiler[$width]} -O3 -DNDEBUG -std=c++20 -I"$tree" -I. -isystem "$zstd" \
            bench/decode_speed.cpp "${codec[@]}" \
            package/package_header.cpp "${objects[@]}" -o "$exe"
    done
}
trees=(now)
build . now
if [ -n "$before" ]; then
    rm -rf "$out/tree-$before"
    mkdir -p "$out/tree-$before"
    git archive "$before" codec | tar -x -C "$out/tree-$before"
    build "$out/tree-$before" "$before"
    trees=("$before" now)
fi
for width in "${widths[@]}"; do
    [[ $width == win* ]] && scripts/wine-prefix.sh "$width"
done

cmake --preset release >/dev/null
cmake --build build/release -j2 --target filespack >/dev/null
bench/make-data.sh build/bench-data >&2
package=build/bench-data/speed.fpk
[ "$method" = classic ] || package=build/bench-data/speed-$method.fpk
if [ ! -f "$package" ]; then
    (cd build/bench-data/files && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort |
        xargs "$repo/build/release/tools/filespack/filespack" create -q --method "$method" \
            "$repo/$package.partial")
    mv "$package.partial" "$package"
fi

declare -A speed
for round in $(seq "$rounds"); do
    for tree in "${trees[@]}"; do
        for width in "${widths[@]}"; do
            if [[ $width == win* ]]; then
                line=$(source scripts/wine-env.sh "$width" &&
                    taskset -c "$core" "$WINE" "$out/$tree-$width.exe" --passes "$passes" \
                        "Z:$repo/$package" 2>/dev/null | tr -d '\r')
            else
                line=$(taskset -c "$core" "$out/$tree-$width" --passes "$passes" "$package")
            fi
            echo "round $round, $tree $width: $line" >&2
            mbs=$(sed -E 's/.*: ([0-9.]+) MB\/s$/\1/' <<<"$line")
            key=$tree-$width
            if [ -z "${speed[$key]:-}" ] || [ "$(echo "$mbs > ${speed[$key]}" | bc)" = 1 ]; then
                speed[$key]=$mbs
            fi
        done
    done
done

{
    echo "| codec | build | decode MB/s | against the native build of its width |"
    echo "|---|---|---|---|"
    for tree in "${trees[@]}"; do
        for width in "${widths[@]}"; do
            base=native
            [ "$width" = win32 ] && [ -n "${speed[$tree-native-m32]:-}" ] && base=native-m32
            printf '| %s | %s | %.0f | %.2f (%s) |\n' "$tree" "$width" "${speed[$tree-$width]}" \
                "$(echo "${speed[$tree-$width]} / ${speed[$tree-$base]}" | bc -l)" "$base"
        done
    done
} | tee build/bench-results/windows-speed.md
