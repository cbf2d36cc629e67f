#!/usr/bin/env bash
# Retakes docs/confirm-dialog.png and docs/progress-window.png: the sample product's windows
# under Wine in Xvfb, Japanese locale, dialog font mapped to the IPA fonts (wine-prefix.sh); then
# the same windows on an English Windows (en_US, code page 1252) and on one whose code page is
# UTF-8 (hi_IN), docs/*-en_US.png and docs/*-hi_IN.png, which must read the same.
# Uses the 64-bit build (build/win64, or the build folder given as $1): the windows are the
# same code and templates as in the 32-bit program, which not every host can execute.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
build=${1:-build/win64}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset win64 -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target ui_window_pose
pose=$(cd "$build/tests/ui" && pwd)/ui_window_pose.exe

# The prefix for the language setting in $FILESPACK_WINE_LOCALE (Japanese when unset).
use_prefix() {
    scripts/wine-prefix.sh win64
    source scripts/wine-env.sh win64
    # 64-bit Wine here does not find the caption-button font of the fonts-wine package by itself.
    for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
        if [ -f "/usr/share/wine/fonts/$font" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/$font" ]; then
            cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
    done
}
use_prefix
mkdir -p docs

shoot() {
    local what=$1 out=$2
    # A display of our own, torn down with everything on it.
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
        set -e
        "$WINE" "$1" "$2" </dev/null >/dev/null 2>&1 &
        pid=$!
        sleep 4
        import -window root "$3.full.png"
        wait $pid || true  # the pose ends itself
    ' _ "$pose" "$what" "$out"
    # The root window is black around the dialog: keep the dialog only.
    convert "$out.full.png" -trim +repage -strip "$out"
    rm -f "$out.full.png"
    echo "$root/$out"
}

shoot confirm docs/confirm-dialog.png
shoot progress docs/progress-window.png

# At 144 DPI (a 150 % screen): the manifest declares the program DPI aware, so Windows lays the
# dialogs out in the larger font instead of stretching them; they must come out whole.
set_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        </dev/null >/dev/null 2>&1
    "$WINE" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
    wineserver -w
}
set_dpi 144
trap 'set_dpi 96' EXIT
shoot confirm docs/confirm-dialog-144dpi.png
shoot progress docs/progress-window-144dpi.png
set_dpi 96
trap - EXIT

for setting in en_US hi_IN; do
    export FILESPACK_WINE_LOCALE=$setting.UTF-8
    use_prefix
    shoot confirm "docs/confirm-dialog-$setting.png"
    shoot progress "docs/progress-window-$setting.png"
done
