#!/usr/bin/env bash
# Package size by kind of file and packing time, classic chunks (at their defaults) against zstd
# chunks at the given levels and block size, and against `xz -9` and `zstd -19` run on pieces of
# that block size of the same files. Times are processor seconds (user + system, all threads), which
# other work on a shared machine moves less than the wall clock; on an idle 2-core machine the
# wall clock is about half of them.
#
#   bench/method-size.sh [--block-size B] [--levels "15 19"] [--no-peers]
#
# Uses the release build and the benchmark data (bench/make-data.sh); the table also goes to
# build/bench-results/method-size.md.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
block=4000000
levels="19"
peers=1
while [ $# -gt 0 ]; do
    case $1 in
        --block-size) block=${2:?}; shift 2 ;;
        --levels) levels=${2:?}; shift 2 ;;
        --no-peers) peers=0; shift ;;
        *) echo "usage: bench/method-size.sh [--block-size B] [--levels \"L ...\"] [--no-peers]" >&2
           exit 2 ;;
    esac
done

cmake --preset release >/dev/null
cmake --build build/release -j2 --target filespack >/dev/null
bench/make-data.sh build/bench-data >&2
files=build/bench-data/files
work=build/bench-data/method-size
mkdir -p "$work" build/bench-results
filespack=build/release/tools/filespack/filespack

# pack NAME ARGS...: a reproducible package; prints its processor seconds.
pack() {
    local name=$1
    shift
    /usr/bin/time -f '%U %S' -o "$work/time" \
        "$filespack" create -q --mtime 0 "$@" "$work/$name.pak" "$files"
    awk '{ print $1 + $2 }' "$work/time"
}

columns=("classic")
declare -A seconds
seconds[classic]=$(pack classic)
"$filespack" list --json "$work/classic.pak" >"$work/classic.json"
for level in $levels; do
    name="zstd-$level"
    columns+=("$name")
    seconds[$name]=$(pack "$name" --method zstd --level "$level" --block-size "$block")
    "$filespack" list --json "$work/$name.pak" >"$work/$name.json"
done

python3 - "$files" "$work" "$block" "$peers" "${columns[@]}" <<'PY' | tee build/bench-results/method-size.md
import json, lzma, os, subprocess, sys
from concurrent.futures import ThreadPoolExecutor
files, work, block, peers, columns = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1", sys.argv[5:]
kind = lambda name: name.split("-")[0]
size_in, sizes = {}, {c: {} for c in columns}
for name in sorted(os.listdir(files)):
    if name.startswith("."): continue
    size_in[kind(name)] = size_in.get(kind(name), 0) + os.path.getsize(os.path.join(files, name))
for c in columns:
    for f in json.load(open(os.path.join(work, c + ".json")))["files"]:
        sizes[c][kind(f["name"])] = sizes[c].get(kind(f["name"]), 0) + f["stored_size"]
if peers:
    def piece_sizes(name):
        data = open(os.path.join(files, name), "rb").read()
        xz = zs = 0
        for at in range(0, len(data), block):
            piece = data[at:at + block]
            xz += len(lzma.compress(piece, preset=9))
            zs += len(subprocess.run(["zstd", "-19", "-q", "-c"], input=piece,
                                     capture_output=True, check=True).stdout)
        return kind(name), xz, zs
    names = [n for n in sorted(os.listdir(files)) if not n.startswith(".")]
    for c in ("xz -9", "zstd -19"): sizes[c] = {}
    with ThreadPoolExecutor(2) as pool:
        for k, xz, zs in pool.map(piece_sizes, names):
            sizes["xz -9"][k] = sizes["xz -9"].get(k, 0) + xz
            sizes["zstd -19"][k] = sizes["zstd -19"].get(k, 0) + zs
    columns = columns + ["xz -9", "zstd -19"]
kinds = sorted(size_in)
print(f"Stored size as a share of the input by kind; zstd and the peers on pieces of {block} bytes,")
print("classic at its defaults (block size 200000, planned cuts). Last columns: zstd against classic and xz -9.")
print()
print("| kind | input MB | " + " | ".join(columns) + f" | {columns[1]} / classic | {columns[1]} / xz -9 |")
print("|---" * (len(columns) + 4) + "|")
for k in kinds + ["all"]:
    total_in = sum(size_in.values()) if k == "all" else size_in[k]
    got = {c: (sum(sizes[c].values()) if k == "all" else sizes[c].get(k, 0)) for c in columns}
    cells = [f"{100 * got[c] / total_in:.1f} %" for c in columns]
    ratio = got[columns[1]] / got["classic"]
    vs_xz = f"{got[columns[1]] / got['xz -9']:.3f}" if "xz -9" in got else "-"
    print(f"| {k} | {total_in / 1e6:.1f} | " + " | ".join(cells) + f" | {ratio:.3f} | {vs_xz} |")
PY
echo
echo "Packing, processor seconds (user + system) for the $(du -sb "$files" | cut -f1) bytes:"
for c in "${columns[@]}"; do echo "  $c: ${seconds[$c]}"; done
