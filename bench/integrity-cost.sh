#!/usr/bin/env bash
# What checking the integrity record costs an extraction, measured two ways on the benchmark data
# packed by this tree's `filespack create` (so the package carries a record):
#
#  1. Whole runs of `filespack extract -j 1`: this tree's binary, which checks the record, against
#     one built from an earlier commit (default 368e196, the last without the check), which
#     ignores it. Runs alternate between the two, each into a fresh empty folder, pinned to one
#     core; medians of processor time (user + system) and wall-clock time.
#  2. bench/integrity_cost: in one process, the package in memory as the Windows program has it,
#     check + extract against extract alone (see its header).
#
#   bench/integrity-cost.sh [--runs N] [--before COMMIT]
#
# Extractions go to $BENCH_WORK (default /dev/shm/filespack-integrity-cost, in memory, so that
# the disk adds no noise); the core is $BENCH_CORE (default 1). The earlier commit is built once
# in build/bench-before-COMMIT/. Results go to the terminal and build/bench-results/integrity.txt.
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
runs=11
before=368e196
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=${2:?}; shift 2 ;;
        --before) before=${2:?}; shift 2 ;;
        *) echo "usage: bench/integrity-cost.sh [--runs N] [--before COMMIT]" >&2; exit 2 ;;
    esac
done
core=${BENCH_CORE:-1}
work=${BENCH_WORK:-/dev/shm/filespack-integrity-cost}

build=${BENCH_BUILD:-build/release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target filespack integrity_cost >/dev/null
new=$repo/$build/tools/filespack/filespack

# The earlier binary, from the commit's own files, with the same preset.
before_dir=$repo/build/bench-before-$before
old=$before_dir/src/build/release/tools/filespack/filespack
if [ ! -x "$old" ]; then
    rm -rf "$before_dir"
    mkdir -p "$before_dir/src"
    git -C "$repo" archive "$before" | tar -x -C "$before_dir/src"
    (cd "$before_dir/src" && cmake --preset release -DFILESPACK_TESTS=OFF >/dev/null &&
        cmake --build build/release -j2 --target filespack >/dev/null)
fi

bench/make-data.sh build/bench-data >&2
files=$repo/build/bench-data/files
dir=$repo/build/bench-data/integrity
mkdir -p "$dir"
package=$dir/data.fpk
# Packed afresh each time (a few seconds), so that the record is the one this tree writes.
(cd "$files" && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort) >"$dir/files.list"
rm -f "$package"
(cd "$files" && xargs -a "$dir/files.list" "$new" create -q "$package")
"$new" list "$package" | tail -1 | grep -q 'integrity: verified' ||
    { echo "$package: no verified integrity record" >&2; exit 1; }

out=$work/out
fresh() {
    rm -rf "$out"
    mkdir -p "$work"
}
# Both binaries must give the same files as the originals, or the comparison means nothing.
for bin in "$old" "$new"; do
    fresh
    "$bin" extract -q -j 1 "$package" -o "$out"
    diff -rq -x '.*' "$files" "$out" >/dev/null ||
        { echo "$bin: extracted files differ from the originals" >&2; exit 1; }
done

# One timed run: "cpu user sys wall" in milliseconds, from the shell's own accounting of its
# child (millisecond resolution, finer than /usr/bin/time's).
timed() {
    local TIMEFORMAT='%3U %3S %3R' t
    fresh
    t=$( { time taskset -c "$core" "$1" extract -q -j 1 "$package" -o "$out" >/dev/null; } 2>&1)
    echo "$t" | awk '{ printf "%.0f %.0f %.0f %.0f\n", ($1 + $2) * 1000, $1 * 1000, $2 * 1000,
        $3 * 1000 }'
}
timed "$old" >/dev/null
timed "$new" >/dev/null
declare -A cpu user sys wall
diffs=""
for ((r = 0; r < runs; r++)); do
    for which in old new; do
        bin=$old
        [ "$which" = new ] && bin=$new
        read -r c u s w < <(timed "$bin")
        cpu[$which]+="$c "
        user[$which]+="$u "
        sys[$which]+="$s "
        wall[$which]+="$w "
        [ "$which" = old ] && old_cpu=$c
    done
    # The runs vary more than the check costs, and drift; a pair's difference cancels the drift.
    diffs+="$((c - old_cpu)) "
done
median_of() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range_of() { printf '%s\n' "$@" | sort -n | sed -n '1p;$p' | paste -sd-; }
# Minor page faults of one more run each: the check reads the mapped package once more.
faults_of() {
    fresh
    /usr/bin/time -f '%R' taskset -c "$core" "$1" extract -q -j 1 "$package" -o "$out" 2>&1 |
        tail -1
}

mkdir -p build/bench-results
{
    echo "filespack extract -j 1 of $(basename "$package") ($(stat -c %s "$package") bytes," \
        "$(wc -l <"$dir/files.list") files) into $work, pinned to core $core; medians of $runs" \
        "runs each, alternating; milliseconds."
    echo
    printf '| %-26s | %7s | %9s | %7s | %7s | %7s | %12s |\n' binary cpu "cpu range" user sys \
        wall "minor faults"
    rule="|----------------------------|---------|-----------|---------|---------|---------|"
    echo "$rule--------------|"
    for which in old new; do
        bin=$old label="$before (no check)"
        [ "$which" = new ] && bin=$new label="$(git describe --always --dirty) (checks)"
        # shellcheck disable=SC2086
        printf '| %-26s | %7s | %9s | %7s | %7s | %7s | %12s |\n' "$label" \
            "$(median_of ${cpu[$which]})" "$(range_of ${cpu[$which]})" \
            "$(median_of ${user[$which]})" \
            "$(median_of ${sys[$which]})" "$(median_of ${wall[$which]})" "$(faults_of "$bin")"
    done
    # shellcheck disable=SC2086
    awk -v o="$(median_of ${cpu[old]})" -v n="$(median_of ${cpu[new]})" \
        -v ow="$(median_of ${wall[old]})" -v nw="$(median_of ${wall[new]})" \
        -v d="$(median_of $diffs)" \
        'BEGIN { printf "\nchecking / not checking: processor time %.3f, wall clock %.3f\n",
                 n / o, nw / ow
                 printf "median of the paired differences: %s ms of processor time, %.1f %%\n",
                 d, 100 * d / o }'
    echo
    taskset -c "$core" "$build/bench/integrity_cost" --runs "$runs" --work "$work" "$package"
} | tee build/bench-results/integrity.txt
rm -rf "$work"
