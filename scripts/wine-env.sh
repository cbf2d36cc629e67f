# Sourced: the Wine settings for one Windows architecture ("win32" or "win64").
# Japanese locale (ANSI code page 932), the project's own prefix under build/, no debug noise.
wine_arch=${1:-win64}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEARCH=$wine_arch
export WINEPREFIX=${FILESPACK_WINEPREFIX:-$(cd "$here/.." && pwd)/build/wineprefix-$wine_arch}
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=ja_JP.UTF-8
if [ "$wine_arch" = win64 ]; then
    WINE=/usr/lib/wine/wine64
else
    WINE=/usr/lib/wine/wine
fi
export WINE
