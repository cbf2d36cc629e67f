#!/usr/bin/env bash
# The README's way of checking a package's integrity record with standard tools, run against a
# fresh package: the digest it computes must be the recorded one, and a flipped bit must show.
# Usage: check_by_hand.sh FILESPACK
set -euo pipefail
filespack=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
seq 1 20000 >"$work/in/numbers.txt"
printf 'x' >"$work/in/x.txt"
"$filespack" create -q "$work/p.fpk" "$work/in"

by_hand() {
    local f=$1 len
    len=$(( $(od -An -tu4 -j20 -N4 "$f") + 24 ))
    marker=$(tail -c +$((len - 23)) "$f" | head -c 8 | od -An -tx1 | tr -d ' \n')
    computed=$(head -c $((len - 16)) "$f" | xxh128sum | cut -d' ' -f1)
    recorded=$(tail -c +$((len - 15)) "$f" | head -c 16 | od -An -tx1 -w16 | tr -d ' \n')
}

by_hand "$work/p.fpk"
[ "$marker" = 895858483132381a ] || {
    echo "marker is $marker" >&2; exit 1; }
[ "$computed" = "$recorded" ] || { echo "digest $computed, recorded $recorded" >&2; exit 1; }

# One flipped bit in the header's signature: the digests part.
cp "$work/p.fpk" "$work/bad.fpk"
printf 'R' | dd of="$work/bad.fpk" bs=1 seek=24 conv=notrunc status=none
by_hand "$work/bad.fpk"
[ "$computed" != "$recorded" ] || { echo "a damaged package matched its record" >&2; exit 1; }
echo "the record checks by hand"
