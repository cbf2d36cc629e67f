# Sourced: the Wine settings for one Windows architecture ("win32" or "win64").
# Japanese locale (ANSI code page 932) unless FILESPACK_WINE_LOCALE names another language
# setting (en_US.UTF-8: 1252, zh_CN.UTF-8: 936, ko_KR.UTF-8: 949, hi_IN.UTF-8: 65001); the
# project's own prefix under build/, one per language setting; no debug noise.
wine_arch=${1:-win64}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_locale=${FILESPACK_WINE_LOCALE:-ja_JP.UTF-8}
wine_prefix_name=wineprefix-$wine_arch
[ "$wine_locale" = ja_JP.UTF-8 ] || wine_prefix_name=$wine_prefix_name-${wine_locale%%.*}
export WINEARCH=$wine_arch
export WINEPREFIX=${FILESPACK_WINEPREFIX:-$(cd "$here/.." && pwd)/build/$wine_prefix_name}
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=$wine_locale
if [ "$wine_arch" = win64 ]; then
    WINE=/usr/lib/wine/wine64
else
    WINE=/usr/lib/wine/wine
fi
export WINE
