#!/usr/bin/env bash
# One folder, side by side: package size and packing time of classic, zstd pieces and the stream
# at the given levels, against `7z a -mx9` (solid LZMA2) and `xz -9e` of a tar of the same files;
# then unpacking time of the stream package (`filespack extract`, writing the files) against
# `7z x -mmt=1` of the 7-Zip archive, and the chunk pipeline's stream decode (`filespack test`,
# one decoding thread, files written to a scratch folder) against libzstd's own streaming decode
# of the same frame (`zstd -d` of the concatenated stream payloads, to /dev/null). Times are wall
# clock seconds: packing one run each; unpacking and decoding the best of --runs runs (default
# 5), the sides taking turns so that a busy moment does not fall on one alone.
#
#   bench/stream-compare.sh [--filespack PATH] [--levels "19 22"] [--no-peers] [--runs N]
#                           [--unpack-to DIR] [--unpack-only] FOLDER [WORK]
#
# FOLDER: the files to pack (bench/make-data.sh makes the benchmark data; any real folder does).
# WORK: where the packages go (default: build/bench-data/stream-compare).
# --unpack-to: where both sides write the files (default: WORK), such as a memory file system,
# where a disk's journal and a file system's reuse of just freed entries add nothing to either.
# --unpack-only: the packages of an earlier run in WORK, unpacking alone.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/.." && pwd)
filespack=$repo/build/release/tools/filespack/filespack
levels="19"
peers=1
runs=5
unpack_to=
unpack_only=0
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=${2:?}; shift 2 ;;
        --unpack-to) unpack_to=${2:?}; shift 2 ;;
        --unpack-only) unpack_only=1; shift ;;
        --filespack) filespack=${2:?}; shift 2 ;;
        --levels) levels=${2:?}; shift 2 ;;
        --no-peers) peers=0; shift ;;
        -*) echo "usage: bench/stream-compare.sh [--filespack PATH] [--levels \"L ...\"] [--no-peers] FOLDER [WORK]" >&2
            exit 2 ;;
        *) break ;;
    esac
done
folder=$(cd "${1:?a folder to pack}" && pwd)
work=${2:-$repo/build/bench-data/stream-compare}
mkdir -p "$work"
work=$(cd "$work" && pwd)
input=$(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')

# seconds COMMAND...: runs it, prints the wall clock seconds it took.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
row() {  # NAME BYTES SECONDS
    printf '| %s | %s | %.1f %% | %.1f |\n' "$1" "$2" "$(echo "100 * $2 / $input" | bc -l)" "$3"
}

# best VAR COMMAND...: keeps in VAR the lower of its value and this run's seconds.
# and in VAR_cpu the lower of its value and this run's processor seconds (user and system), which a
# machine busy with other work disturbs less than the wall clock.
best() {
    local name=$1 t cpu times
    shift
    times=$(mktemp)
    t=$(seconds /usr/bin/time -f '%U + %S' -o "$times" "$@")
    cpu=$(bc <"$times")
    rm -f "$times"
    if [ -z "${!name}" ] || [ "$(echo "$t < ${!name}" | bc)" = 1 ]; then printf -v "$name" %s "$t"; fi
    local cpu_name=${name}_cpu
    if [ -z "${!cpu_name:-}" ] || [ "$(echo "$cpu < ${!cpu_name}" | bc)" = 1 ]; then
        printf -v "$cpu_name" %s "$cpu"
    fi
}

echo "input: $folder, $input bytes"
if [ "$unpack_only" = 0 ]; then
echo
echo "| what | bytes | of input | packing s |"
echo "|---|---|---|---|"
t=$(seconds "$filespack" create -r -q --mtime 0 "$work/classic.fpk" "$folder")
row classic "$(stat -c %s "$work/classic.fpk")" "$t"
t=$(seconds "$filespack" create -r -q --mtime 0 --method zstd "$work/zstd.fpk" "$folder")
row "zstd pieces, level 19" "$(stat -c %s "$work/zstd.fpk")" "$t"
for level in $levels; do
    t=$(seconds "$filespack" create -r -q --mtime 0 --method stream --level "$level" \
        "$work/stream-$level.fpk" "$folder")
    row "stream, level $level" "$(stat -c %s "$work/stream-$level.fpk")" "$t"
done
if [ "$peers" = 1 ]; then
    rm -f "$work/peer.7z"
    t=$(seconds bash -c "cd '$folder' && 7z a -mx9 '$work/peer.7z' . ")
    row '`7z a -mx9`' "$(stat -c %s "$work/peer.7z")" "$t"
    t=$(seconds bash -c "tar -C '$folder' -cf - . | xz -9e -T1 > '$work/peer.tar.xz'")
    row '`xz -9e` of a tar' "$(stat -c %s "$work/peer.tar.xz")" "$t"
fi

fi

level=${levels%% *}
package=$work/stream-$level.fpk
out=${unpack_to:-$work}
mkdir -p "$out"
echo
echo "unpacking (stream, level $level; best of $runs runs, writing the files to $out):"
t_fp= t_7z= t_lib= t_test= t_fp_cpu= t_7z_cpu= t_lib_cpu= t_test_cpu=
for run in $(seq "$runs"); do
    rm -rf "$out/out-fp" "$out/out-7z"
    best t_fp "$filespack" extract -q --threads 1 "$package" -o "$out/out-fp"
    if [ "$run" = 1 ] && ! diff -r "$folder" "$out/out-fp" >/dev/null; then
        echo "the extracted files differ" >&2
        exit 1
    fi
    if [ "$peers" = 1 ]; then best t_7z 7z x -mmt=1 -o"$out/out-7z" "$work/peer.7z"; fi
done
rm -rf "$out/out-fp" "$out/out-7z"
echo "- filespack extract: $t_fp s (processor: $t_fp_cpu s)"
if [ "$peers" = 1 ]; then
    echo "- 7z x -mmt=1: $t_7z s ($(echo "$t_7z / $t_fp" | bc -l | cut -c1-4)x filespack's time;" \
        "processor: $t_7z_cpu s, $(echo "$t_7z_cpu / $t_fp_cpu" | bc -l | cut -c1-4)x)"
fi
# The stream's payloads, concatenated: one zstd frame of the files in package order.
python3 - "$package" >"$work/stream.zst" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at, out = 36, sys.stdout.buffer
while data[at]:
    at += 1 + data[at] + 4 + 28
    while True:
        n = struct.unpack_from("<i", data, at)[0]; at += 4
        if n <= 0: break
        out.write(data[at + 7:at + n]); at += n
PY
for run in $(seq "$runs"); do
    best t_lib zstd -d -q -c --long=27 "$work/stream.zst" -o /dev/null
    best t_test "$filespack" test -q --threads 1 "$package"
done
echo "- zstd -d of the frame, to /dev/null: $t_lib s; filespack test (decode, digest, write to scratch): $t_test s"
