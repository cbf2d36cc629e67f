#!/usr/bin/env bash
# The lines docs/integrity.md gives for checking a package's integrity record with standard
# tools, taken from the page and run against a fresh package: the digest they compute must be the
# recorded one, and a flipped bit must show.
# Usage: check_by_hand.sh FILESPACK INTEGRITY_PAGE
set -euo pipefail
filespack=$1
# The block after its "f=..." line, up to the closing fence.
block=$(sed -n '/^f=quolta.fpk/,/^```$/p' "$2" | sed '1d;$d')
[ "$(wc -l <<<"$block")" -eq 4 ] || { echo "the page's block is not the four lines expected" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
seq 1 20000 >"$work/in/numbers.txt"
printf 'x' >"$work/in/x.txt"
"$filespack" create -q "$work/p.fpk" "$work/in"

by_hand() {
    local out
    mapfile -t out < <(f=$1; eval "$block")
    marker=$(tr -d ' ' <<<"${out[0]}")
    computed=${out[1]%% *}
    recorded=${out[2]}
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
