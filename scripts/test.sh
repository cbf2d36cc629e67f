#!/usr/bin/env bash
# Every test. Natively: the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded ones (package, filespack) again under ThreadSanitizer, and every fuzzer for a while
# from its seeds, after replaying the inputs that once failed.
# Windows: the 32-bit build (the shipped program) and a 64-bit build of the same sources; the
# Windows tests run under Wine in Xvfb, for each architecture this host can execute.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== native tests (debug, sanitizers)"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

echo "== ThreadSanitizer (package and filespack tests)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"

echo "== fuzzers"
scripts/fuzz.sh "${FILESPACK_FUZZ_SECONDS:-30}"

# run_wine_tests ARCH [CTEST ARGUMENTS...]
run_wine_tests() {
    local arch=$1
    shift
    scripts/wine-prefix.sh "$arch"
    # A persistent server, and one boot before the tests: otherwise Wine's background processes
    # hold each test's output open for seconds. Both inside the X server the tests use: a desktop
    # that Wine started without a display leaves every later dialog without one.
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
        source scripts/wine-env.sh "$1"
        trap "wineserver -k || true" EXIT
        wineserver -k 2>/dev/null || true
        wineserver -p
        "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
        ctest --preset "$1" -j "$2" "${@:3}"' _ "$arch" "$jobs" "$@"
}

# The tests labelled "languages" again under each other language setting, each in its own prefix
# (Wine takes the ANSI code page from the locale: 1252, 936, 949, and 65001 for hi_IN).
run_language_matrix() {
    local arch=$1 wine_locale
    for wine_locale in en_US zh_CN ko_KR hi_IN; do
        echo "== Windows, $arch, language setting $wine_locale.UTF-8"
        FILESPACK_WINE_LOCALE=$wine_locale.UTF-8 run_wine_tests "$arch" -L languages
    done
}

echo "== Windows, 32-bit (the shipped program)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

echo "== the sample product's target alone, in fresh build trees"
scripts/check-product-builds-alone.sh "$PWD/build/win32/host-tools/tools/filespack/filespack"
if scripts/can-run-win32.sh; then
    run_wine_tests win32
else
    echo "note: this kernel does not execute 32-bit code (ia32 emulation is off), so 32-bit Wine"
    echo "      cannot start here; the 32-bit build is checked, its tests run as 64-bit below."
fi

echo "== Windows, 64-bit build of the same sources, under Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
run_wine_tests win64
run_language_matrix win64
