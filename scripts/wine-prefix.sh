#!/usr/bin/env bash
# Makes the Wine prefix for one architecture once: Japanese dialog fonts mapped to the IPA
# fonts, and Wine drawing window captions itself (Xvfb has no window manager).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh" "${1:-win64}"
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.filespack-ready" ] && exit 0
"$WINE" wineboot -i </dev/null >/dev/null 2>&1
fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in 'ＭＳ Ｐゴシック' 'MS PGothic' 'MS UI Gothic'; do
    "$WINE" reg add "$fonts" /v "$face" /d IPAPGothic /f </dev/null >/dev/null 2>&1
done
for face in 'ＭＳ ゴシック' 'MS Gothic'; do
    "$WINE" reg add "$fonts" /v "$face" /d IPAGothic /f </dev/null >/dev/null 2>&1
done
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.filespack-ready"
