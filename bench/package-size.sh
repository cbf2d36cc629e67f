#!/usr/bin/env bash
# Package size by kind of file, pieces of exactly the block size (`filespack create --fast`)
# against pieces cut where the data changes (the default), then the speed of both over all the
# benchmark data: `filespack create` in MB of input per second (all cores; by the wall clock and
# per second of processor time) and the chunk pipeline's decode speed (bench/decode_speed, pinned
# to one core, best of its passes), with the decoder's instruction count where valgrind is
# installed, a measure the machine's other work does not move. Both packings come from the same
# build in the same run, so only the cuts differ.
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

# create OUT fast|planned INPUT...: a reproducible package; prints the seconds it took, wall
# clock and processor time (user + system, all threads).
create() {
    local out=$1 mode=$2 flags=()
    shift 2
    [ "$mode" = fast ] && flags=(--fast)
    /usr/bin/time -f '%e %U %S' -o "$work/time" \
        "$filespack" create -q --mtime 0 "${flags[@]}" --block-size "$block" "$out" "$@"
    awk '{ print $1, $2 + $3 }' "$work/time"
}

# best CURRENT CANDIDATE: the larger.
best() {
    echo "if ($2 > $1) $2 else $1" | bc -l
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

    # Creating everything, alternating the two, best of the rounds. The machine's other work
    # shows in the wall clock; the processor time, MB per second of one core, shows less of it.
    input=$(cat "$files"/* | wc -c)
    declare -A wall=([fast]=0 [planned]=0) cpu=([fast]=0 [planned]=0)
    declare -A decode=([fast]=0 [planned]=0)
    for _ in $(seq "$rounds"); do
        for mode in fast planned; do
            read -r seconds processor < <(create "$work/all-$mode.fpk" "$mode" "$files")
            wall[$mode]=$(best "${wall[$mode]}" "$(echo "$input / $seconds / 10^6" | bc -l)")
            cpu[$mode]=$(best "${cpu[$mode]}" "$(echo "$input / $processor / 10^6" | bc -l)")
        done
    done
    before=$(stat -c %s "$work/all-fast.fpk")
    after=$(stat -c %s "$work/all-planned.fpk")
    printf '| all | %d | %d | %d | %+.2f %% |\n' "$input" "$before" "$after" \
        "$(echo "($after - $before) * 100 / $before" | bc -l)"

    # Decoding, alternating the two packages, best of the rounds.
    for _ in $(seq "$rounds"); do
        for mode in fast planned; do
            rate=$(taskset -c "$core" build/release/bench/decode_speed --passes "$passes" \
                "$work/all-$mode.fpk" | sed 's/.*: \([0-9.]*\) MB\/s/\1/')
            decode[$mode]=$(best "${decode[$mode]}" "$rate")
        done
    done
    # Instructions are the same from run to run, however busy the machine: those the decoder
    # executes for each package, one pass, where valgrind is installed.
    declare -A instructions=([fast]=0 [planned]=0)
    if command -v valgrind >/dev/null; then
        for mode in fast planned; do
            valgrind --tool=callgrind --callgrind-out-file=/dev/null \
                --toggle-collect='ChunkDecoder::Decode*' build/release/bench/decode_speed \
                --passes 1 "$work/all-$mode.fpk" 2>&1 >/dev/null |
                sed -n 's/.*Collected : \([0-9]*\).*/\1/p' >"$work/instructions-$mode" &
        done
        wait
        for mode in fast planned; do instructions[$mode]=$(cat "$work/instructions-$mode"); done
    fi
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
    row() {
        printf "| %s | %.${4:-1}f | %.${4:-1}f | %.3f |\n" "$1" "$2" "$3" "$(echo "$3 / $2" | bc -l)"
    }
    row "create, MB/s of input (wall clock)" "${wall[fast]}" "${wall[planned]}"
    row "create, MB/s of input per processor second" "${cpu[fast]}" "${cpu[planned]}"
    row "decode, MB/s (one core)" "${decode[fast]}" "${decode[planned]}"
    if [ "${instructions[fast]}" != 0 ]; then
        row "decode, millions of instructions" "$(echo "${instructions[fast]} / 10^6" | bc -l)" \
            "$(echo "${instructions[planned]} / 10^6" | bc -l)"
    fi
} | tee "$table"
