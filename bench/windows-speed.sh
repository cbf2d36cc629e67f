#!/usr/bin/env bash
# The chunk pipeline's decode speed by build, on the same package in one run: the native release
# build, the 64-bit Windows build under 64-bit Wine and, where this host executes 32-bit code,
# the shipped 32-bit program's build under 32-bit Wine, against a native 32-bit build
# (`g++ -m32 -O3`, where g++-multilib is installed). Each is bench/decode_speed, pinned to one
# core, best of its passes; the table gives each build's speed and its ratio to the native build
# of its own width.
#
#   bench/windows-speed.sh [--passes N] [--rounds N]
#
# The package is the benchmark data (bench/make-data.sh) packed by this tree's filespack with
# the default block size. Builds go to build/release, build/bench-win64 and build/bench-win32;
# the table also goes to build/bench-results/windows-speed.md.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
passes=3
rounds=3
while [ $# -gt 0 ]; do
    case $1 in
        --passes) passes=${2:?}; shift 2 ;;
        --rounds) rounds=${2:?}; shift 2 ;;
        *) echo "usage: bench/windows-speed.sh [--passes N] [--rounds N]" >&2; exit 2 ;;
    esac
done
core=${BENCH_CORE:-1}

cmake --preset release >/dev/null
cmake --build build/release -j2 --target filespack decode_speed >/dev/null
builds=(native win64)
scripts/can-run-win32.sh && builds+=(win32)
for arch in "${builds[@]:1}"; do
    cmake --preset "$arch" -B "build/bench-$arch" -DFILESPACK_BENCH=ON >/dev/null
    cmake --build "build/bench-$arch" -j2 --target decode_speed >/dev/null
    scripts/wine-prefix.sh "$arch"
done

bench/make-data.sh build/bench-data >&2
package=build/bench-data/speed.fpk
if [ ! -f "$package" ]; then
    (cd build/bench-data/files && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort |
        xargs "$repo/build/release/tools/filespack/filespack" create -q "$repo/$package.partial")
    mv "$package.partial" "$package"
fi

if echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; then
    mkdir -p build/bench-m32
    g++ -m32 -O3 -DNDEBUG -std=c++20 -I. bench/decode_speed.cpp codec/*.cpp \
        package/package_header.cpp -o build/bench-m32/decode_speed
    builds+=(native-m32)
fi

# Rounds alternate between the builds, so that a busy moment on the machine does not fall on
# one build alone; each build keeps its best pass over all rounds.
declare -A speed
for round in $(seq "$rounds"); do
    for build in "${builds[@]}"; do
        if [ "$build" = native ]; then
            line=$(taskset -c "$core" build/release/bench/decode_speed --passes "$passes" "$package")
        elif [ "$build" = native-m32 ]; then
            line=$(taskset -c "$core" build/bench-m32/decode_speed --passes "$passes" "$package")
        else
            line=$(source scripts/wine-env.sh "$build" &&
                taskset -c "$core" "$WINE" "build/bench-$build/bench/decode_speed.exe" \
                    --passes "$passes" "Z:$repo/$package" 2>/dev/null | tr -d '\r')
        fi
        echo "round $round, $build: $line" >&2
        mbs=$(sed -E 's/.*: ([0-9.]+) MB\/s$/\1/' <<<"$line")
        if [ -z "${speed[$build]:-}" ] || [ "$(echo "$mbs > ${speed[$build]}" | bc)" = 1 ]; then
            speed[$build]=$mbs
        fi
    done
done

mkdir -p build/bench-results
{
    echo "| build | decode MB/s | against the native build of its width |"
    echo "|---|---|---|"
    for build in "${builds[@]}"; do
        base=native
        [ "$build" = win32 ] && [ -n "${speed[native-m32]:-}" ] && base=native-m32
        printf '| %s | %.0f | %.2f (%s) |\n' "$build" "${speed[$build]}" \
            "$(echo "${speed[$build]} / ${speed[$base]}" | bc -l)" "$base"
    done
} | tee build/bench-results/windows-speed.md
