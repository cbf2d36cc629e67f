#!/usr/bin/env bash
# Builds the benchmark data: about 100 MB of the kinds of file an installer carries, as one flat
# folder (packages have no folders). Everything comes from what a Debian machine holds or from
# fixed seeds, picked in a fixed order, so the same machine gives the same bytes every time.
#
#   bench/make-data.sh [out-dir]      (default: build/bench-data)
#
# Makes <out-dir>/files/ and prints its makeup. Does nothing when <out-dir>/files/.complete
# exists (delete the folder to rebuild).
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$repo/build/bench-data}
files=$out/files
mb=$((1024 * 1024))  # budgets in MiB; the makeup is printed in MB (10^6 bytes) like the benchmarks

if [ -e "$files/.complete" ]; then
    echo "bench data: $files (already made)"
    exit 0
fi
rm -rf "$files"
mkdir -p "$files"

# Pseudo-random but fixed order: sort candidates by a keyed hash of their path (the key comes from
# a fixed byte source), so the pick spreads over the whole tree instead of taking the
# alphabetically first names.
shuffle() {
    sort -R --random-source=<(head -c 4096 /dev/zero)
}

# take KIND BUDGET_MB MAX_FILE_BYTES: copies candidates from stdin until the budget is spent.
take() {
    local kind=$1 budget=$(($2 * mb)) max=$3 used=0 n=0 f size name
    while IFS= read -r f; do
        [ -f "$f" ] && [ ! -L "$f" ] && [ -r "$f" ] || continue
        size=$(stat -c %s "$f")
        [ "$size" -gt 0 ] && [ "$size" -le "$max" ] || continue
        [ $((used + size)) -le "$budget" ] || continue
        n=$((n + 1))
        # Windows drops a trailing dot, so packages refuse such names.
        name=$(basename "$f" | tr -c 'A-Za-z0-9._+-' '_' | cut -c1-60 | sed 's/\.*$//')
        cp "$f" "$files/$(printf '%s-%04d-%s' "$kind" "$n" "$name")"
        used=$((used + size))
        [ $((budget - used)) -gt 65536 ] || break
    done
    cat >/dev/null # drain, so the producers do not die of a closed pipe
}

echo "making bench data in $files" >&2

# Executables and libraries: machine code, relocation tables, string tables.
find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f \( -perm -u+x -o -name '*.so*' \) |
    sort | shuffle | take exe 35 $((6 * mb))

# Text and source: documentation and headers.
find /usr/share/doc /usr/include -type f \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.txt' -o -name '*.html' -o -name '*.md' \
    -o -name 'README*' -o -name 'copyright' -o -name 'changelog' \) |
    sort | shuffle | take text 30 $((2 * mb))

# Already compressed: gzip'd documents, images, Java archives.
find /usr/share -type f \( -name '*.gz' -o -name '*.png' -o -name '*.jar' \) -size +2k |
    sort | shuffle | take packed 15 $((4 * mb))

# Generated, fixed seeds.
gen() { printf '%s/gen-%s' "$files" "$1"; }
# A table export: repetitive records with varying numbers (seeded awk).
awk 'BEGIN { srand(20261208); for (i = 0; i < 110000; i++)
    printf "%07d,ITEM-%05d,%s,%.2f,%d,2026-%02d-%02d\n", i, int(rand() * 30000),
        (rand() < 0.5 ? "在庫あり" : "取り寄せ"), rand() * 10000, int(rand() * 500),
        1 + int(rand() * 12), 1 + int(rand() * 28) }' >"$(gen table.csv)"
# A raw bitmap with flat areas and gradients: long runs for the run-length stage.
awk 'BEGIN { srand(7); for (y = 0; y < 1200; y++) { line = "";
    for (x = 0; x < 1600; x++) { c = (int(x / 200) + int(y / 150)) % 3;
        v = (c == 0) ? 255 : (c == 1 ? int(x / 7) % 255 + 1 : 32);
        line = line sprintf("%c%c%c", v, v, (c == 2 && rand() < 0.02) ? 200 : v) }
    printf "%s", line } }' >"$(gen bitmap.raw)"
# A disk-image-like file: zero-filled stretches between pieces of real data.
{
    for i in 1 2 3 4 5 6 7 8; do
        head -c $((300 * 1024 * i)) /dev/zero
        find /usr/lib/x86_64-linux-gnu -maxdepth 1 -name '*.so*' -type f | sort | sed -n "${i}p" |
            xargs -r head -c $((256 * 1024))
    done
} >"$(gen image.img)"
# Incompressible: a fixed-key cipher stream.
head -c $((6 * mb)) /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 00000000000000000000000000000000 >"$(gen random.bin)"

touch "$files/.complete"

echo "bench data makeup ($files):"
for kind in exe text packed gen; do
    set -- "$files/$kind"-*
    total=$(cat "$@" | wc -c)
    printf '  %-7s %5d files %8.1f MB\n' "$kind" "$#" "$(echo "$total / 1000000" | bc -l)"
done
printf '  %-7s %5d files %8.1f MB\n' all "$(ls "$files" | wc -l)" \
    "$(echo "$(cat "$files"/* | wc -c) / 1000000" | bc -l)"
