#!/usr/bin/env bash
# Whole-process extraction: `filespack extract` against unzip, tar (gzip and zstd) and 7z on the
# same flat set of files, with `cp -r` as the floor. Two tables: first every tool pinned to one
# core, compared by processor time (the fair single-core comparison; filespack then decodes on
# its one thread); then every tool free to use all cores, compared by wall-clock time (filespack
# with its default threads, and with -j 1 beside it). Times are medians of several runs; each
# tool's output is checked once against the originals. Also prints the peak memory of
# `filespack extract` with one and with its default threads.
#
#   bench/compare-extract.sh FILESPACK [DATA-DIR] [RUNS]
#
# DATA-DIR is what bench/make-data.sh made (default build/bench-data); archives are made there
# once and kept. Extractions go to $BENCH_WORK (default DATA-DIR/extract), emptied between runs.
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
filespack=$(realpath "${1:?usage: compare-extract.sh FILESPACK [DATA-DIR] [RUNS]}")
data=$(realpath "${2:-$repo/build/bench-data}")
runs=${3:-5}
files=$data/files
work=${BENCH_WORK:-$data/extract}
core=${BENCH_CORE:-1}

for tool in unzip zip zstd 7z taskset /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -d "$files" ] || { echo "no data in $files (bench/make-data.sh)" >&2; exit 1; }

list=$data/files.list
(cd "$files" && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort) >"$list"

# The archives, made once from the same list.
archives=$data/archives
mkdir -p "$archives"
make_archive() {
    local out=$1
    shift
    [ -s "$out" ] && return
    echo "making $(basename "$out")" >&2
    (cd "$files" && "$@") || { rm -f "$out"; exit 1; }
}
make_archive "$archives/data.fpk" bash -c "xargs -a '$list' '$filespack' create -q '$archives/data.fpk'"
make_archive "$archives/data.zip" bash -c "zip -q -6 '$archives/data.zip' -@ <'$list'"
make_archive "$archives/data.tar.gz" tar -czf "$archives/data.tar.gz" -T "$list"
make_archive "$archives/data.tar.zst" tar --zstd -cf "$archives/data.tar.zst" -T "$list"
make_archive "$archives/data.7z" bash -c "7z a -bd -y '$archives/data.7z' @'$list' >/dev/null"
# xargs would split a long list over several calls, which `create` would not survive.
[ "$(xargs -a "$list" echo | wc -l)" -eq 1 ] || { echo "file list too long for one call" >&2; exit 1; }

out=$work/out
run_tool() {
    case $1 in
        cp) cp -r "$files/." "$out/" ;;
        filespack) "$filespack" extract -q "$archives/data.fpk" -o "$out" ;;
        filespack-j1) "$filespack" extract -q -j 1 "$archives/data.fpk" -o "$out" ;;
        unzip) unzip -q "$archives/data.zip" -d "$out" ;;
        tar-gz) tar -xzf "$archives/data.tar.gz" -C "$out" ;;
        tar-zstd) tar --zstd -xf "$archives/data.tar.zst" -C "$out" ;;
        7z) 7z x -bd -y -o"$out" "$archives/data.7z" >/dev/null ;;
    esac
}
archive_of() {
    case $1 in
        cp) echo "" ;;
        filespack*) echo "$archives/data.fpk" ;;
        unzip) echo "$archives/data.zip" ;;
        tar-gz) echo "$archives/data.tar.gz" ;;
        tar-zstd) echo "$archives/data.tar.zst" ;;
        7z) echo "$archives/data.7z" ;;
    esac
}
fresh() {
    rm -rf "$out"
    mkdir -p "$out"
}
# Same names, same bytes as the originals.
check() {
    local name
    if ! diff -q <(cd "$out" && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort) \
        "$list" >/dev/null; then
        echo "$1: extracted a different set of files" >&2
        exit 1
    fi
    while IFS= read -r name; do
        cmp -s "$files/$name" "$out/$name" || { echo "$1: $name differs" >&2; exit 1; }
    done <"$list"
}

tools=(cp filespack unzip tar-gz tar-zstd 7z)
free_tools=(cp filespack filespack-j1 unzip tar-gz tar-zstd 7z)
for tool in "${free_tools[@]}"; do
    fresh
    run_tool "$tool"
    check "$tool"
done
# One timed run: "wall cpu" in microseconds. Processor time (user + system, the tool's child
# processes included) counts only this tool's work on a machine others share.
timed() {
    local pin=$1 tool=$2
    local -a prefix=()
    [ "$pin" = pinned ] && prefix=(taskset -c "$core")
    fresh
    sync
    "${prefix[@]}" /usr/bin/time -f '%e %U %S' bash -c \
        "$(declare -f run_tool); files='$files' out='$out' archives='$archives' \
        filespack='$filespack' run_tool $tool" 2>&1 >/dev/null | tail -1 |
        awk '{ printf "%d %d\n", $1 * 1000000, ($2 + $3) * 1000000 }'
}
# Rounds go over every tool in turn, so a busy moment hurts them alike.
declare -A times walls free_times free_walls
for ((r = 0; r < runs; r++)); do
    for tool in "${tools[@]}"; do
        read -r wall cpu < <(timed pinned "$tool")
        times[$tool]+="$cpu "
        walls[$tool]+="$wall "
    done
    for tool in "${free_tools[@]}"; do
        read -r wall cpu < <(timed free "$tool")
        free_times[$tool]+="$cpu "
        free_walls[$tool]+="$wall "
    done
done
median_of() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
declare -A median wall_median free_median free_wall_median
for tool in "${tools[@]}"; do
    # shellcheck disable=SC2086
    median[$tool]=$(median_of ${times[$tool]})
    # shellcheck disable=SC2086
    wall_median[$tool]=$(median_of ${walls[$tool]})
done
for tool in "${free_tools[@]}"; do
    # shellcheck disable=SC2086
    free_median[$tool]=$(median_of ${free_times[$tool]})
    # shellcheck disable=SC2086
    free_wall_median[$tool]=$(median_of ${free_walls[$tool]})
done

archive_size() {
    local archive
    archive=$(archive_of "$1")
    if [ -n "$archive" ]; then stat -c %s "$archive"; else echo -; fi
}
ratio() { echo "$1 / $2" | bc -l; }
seconds() { echo "$1 / 1000000" | bc -l; }

bytes=$(cd "$files" && xargs -a "$list" cat | wc -c)
echo "Extraction of $(wc -l <"$list") files, $(echo "scale=1; $bytes / 1000000" | bc) MB, into" \
    "$work; median of $runs runs, each tool pinned to core $core. Ratios are of processor" \
    "time (user + system)."
echo
# print_table FIRST_HEADING SECOND_HEADING FIRST_ARRAY SECOND_ARRAY TOOL...: ratios of the first.
print_table() {
    local -n first=$3 second=$4
    printf '| %-12s | %12s | %7s | %7s | %16s | %9s |\n' tool archive "$1" "$2" \
        "tool / filespack" "tool / cp"
    echo "|--------------|--------------|---------|---------|------------------|-----------|"
    local tool
    for tool in "${@:5}"; do
        printf '| %-12s | %12s | %7.3f | %7.3f | %16.2f | %9.2f |\n' "$tool" \
            "$(archive_size "$tool")" "$(seconds "${first[$tool]}")" \
            "$(seconds "${second[$tool]}")" "$(ratio "${first[$tool]}" "${first[filespack]}")" \
            "$(ratio "${first[$tool]}" "${first[cp]}")"
    done
}
print_table "cpu s" "wall s" median wall_median "${tools[@]}"

echo
echo "The same with all $(nproc) cores free to every tool (no pinning; filespack with its default" \
    "threads, and with -j 1); median of $runs runs. Ratios are of wall-clock time."
echo
print_table "wall s" "cpu s" free_wall_median free_median "${free_tools[@]}"

# Peak memory: the extraction, with one and with the default threads, against the same program
# doing nothing.
peak_of() {
    fresh
    /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1
}
peak_one=$(peak_of "$filespack" extract -q -j 1 "$archives/data.fpk" -o "$out")
peak_default=$(peak_of "$filespack" extract -q "$archives/data.fpk" -o "$out")
idle=$(peak_of "$filespack" --version)
echo
echo "Peak memory of filespack extract (package $(stat -c %s "$archives/data.fpk") bytes; the" \
    "program alone: $idle KiB): -j 1 $peak_one KiB ($((peak_one - idle)) KiB beyond it), default" \
    "threads $peak_default KiB ($((peak_default - idle)) KiB beyond it)."
rm -rf "$out"
