#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix for its architecture (PE32 or
# PE32+, read from the file). CTest uses it as the cross-compiling emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
arch=win32
# The PE optional header's magic: 0x20b is PE32+ (64-bit).
if [ -f "$1" ]; then
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    magic=$(od -An -tx2 -j$((pe + 24)) -N2 "$1" | tr -d ' ')
    [ "$magic" = 020b ] && arch=win64
fi
source "$here/wine-env.sh" "$arch"
"$here/wine-prefix.sh" "$arch" >&2
exec "$WINE" "$@"
