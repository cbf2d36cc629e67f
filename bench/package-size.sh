#!/usr/bin/env bash
# Package size by kind of file, pieces of exactly the block size (`filespack create --fast`)
# against pieces cut where the data changes (the default), then the speed of both over all the
# benchmark data: `filespack create` in MB of input per second (all cores, wall clock) and the
# chunk pipeline's decode speed (bench/decode_speed, pinned to one core, best of its passes).
# Both packings of a kind come from the same build in the same run, so only the cuts differ.
#
#   bench/package-size.sh [--block-size B] [--passes N] [--rounds N]
#
# Uses the release build and the benchmark data (bench/make-data.sh); packages go to
# build/bench-data/package-size/, the table also to build/bench-results/package-size.md.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
block=200000
passes=5
rounds=3
while [ $# -gt 0 ]; do
    case $1 in
        --block-size) block=${2:?}; shift 2 ;;
        --passes) passes=${2:?}; shift 2 ;;
        --rounds) rounds=${2:?}; shift 2 ;;
        *) echo "usage: bench/package-size.sh [--block-size B] [--passes N] [--rounds N]" >&2
           exit 2 ;;
    esac
done
core=${BENCH_CORE:-1}

cmake --preset release >/dev/null
cmake --build build/release -j2 --target filespack decode_speed >/dev/null
bench/make-data.sh build/bench-data >&2
files=build/bench-data/files
work=build/bench-data/package-size
mkdir -p "$work" build/bench-results
filespack=build/release/tools/filespack/filespack

# create OUT fast|planned INPUT...: a reproducible package; prints the seconds it took.
create() {
    local out=$1 mode=$2
    shift 2
    local start end
    start=$(date +%s.%N)
    if [ "$mode" = fast ]; then
        "$filespack" create -q --mtime 0 --fast --block-size "$block" "$out" "$@"
    else
        "$filespack" create -q --mtime 0 --block-size "$block" "$out" "$@"
    fi
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

kinds=$(ls "$files" | sed -n 's/^\([a-z]*\)-.*/\1/p' | sort -u)
table=build/bench-results/package-size.md
{
    echo "Package size by kind, block size $block (bytes of the whole package):"
    echo
    echo "| kind | input | fixed pieces (--fast) | cut where the data changes | change |"
    echo "|---|---:|---:|---:|---:|"
    for kind in $kinds; do
        input=$(cat "$files/$kind"-* | wc -c)
        create "$work/$kind-fast.fpk" fast "$files/$kind"-* >/dev/null
        create "$work/$kind-planned.fpk" planned "$files/$kind"-* >/dev/null
        before=$(stat -c %s "$work/$kind-fast.fpk")
        after=$(stat -c %s "$work/$kind-planned.fpk")
        printf '| %s | %d | %d | %d | %+.2f %% |\n' "$kind" "$input" "$before" "$after" \
            "$(echo "($after - $before) * 100 / $before" | bc -l)"
    done

    # Creating everything, alternating the two, best of the rounds.
    input=$(cat "$files"/* | wc -c)
    best_fast=0
    best_planned=0
    for _ in $(seq "$rounds"); do
        for mode in fast planned; do
            seconds=$(create "$work/all-$mode.fpk" "$mode" "$files")
            rate=$(echo "$input / $seconds / 1000000" | bc -l)
            if [ "$mode" = fast ]; then
                best_fast=$(echo "if ($rate > $best_fast) $rate else $best_fast" | bc -l)
            else
                best_planned=$(echo "if ($rate > $best_planned) $rate else $best_planned" | bc -l)
            fi
        done
    done
    before=$(stat -c %s "$work/all-fast.fpk")
    after=$(stat -c %s "$work/all-planned.fpk")
    printf '| all | %d | %d | %d | %+.2f %% |\n' "$input" "$before" "$after" \
        "$(echo "($after - $before) * 100 / $before" | bc -l)"

    # Decoding, alternating the two packages, best of the rounds.
    decode_fast=0
    decode_planned=0
    for _ in $(seq "$rounds"); do
        for mode in fast planned; do
            rate=$(taskset -c "$core" build/release/bench/decode_speed --passes "$passes" \
                "$work/all-$mode.fpk" | sed 's/.*: \([0-9.]*\) MB\/s/\1/')
            if [ "$mode" = fast ]; then
                decode_fast=$(echo "if ($rate > $decode_fast) $rate else $decode_fast" | bc -l)
            else
                decode_planned=$(echo "if ($rate > $decode_planned) $rate else $decode_planned" |
                    bc -l)
            fi
        done
    done
    chunks_fast=$(build/release/bench/decode_speed --passes 1 "$work/all-fast.fpk" |
        sed 's/.* in \([0-9]*\) chunks.*/\1/')
    chunks_planned=$(build/release/bench/decode_speed --passes 1 "$work/all-planned.fpk" |
        sed 's/.* in \([0-9]*\) chunks.*/\1/')
    echo
    echo "All the data ($(nproc) cores; best of $rounds rounds):"
    echo
    echo "| | fixed pieces (--fast) | cut where the data changes | ratio |"
    echo "|---|---:|---:|---:|"
    printf '| chunks | %d | %d | %.2f |\n' "$chunks_fast" "$chunks_planned" \
        "$(echo "$chunks_planned / $chunks_fast" | bc -l)"
    printf '| create, MB/s of input | %.1f | %.1f | %.2f |\n' "$best_fast" "$best_planned" \
        "$(echo "$best_planned / $best_fast" | bc -l)"
    printf '| decode, MB/s (one core) | %.1f | %.1f | %.2f |\n' "$decode_fast" "$decode_planned" \
        "$(echo "$decode_planned / $decode_fast" | bc -l)"
} | tee "$table"
