#!/usr/bin/env bash
# Builds the sample product "Quolta" and runs it under Wine.
#   With a display ($DISPLAY set): the program opens for you to click through.
#   Without one (CI, a server): a headless run in Xvfb, driven through an unpack-only run, with
#   screenshots saved and their paths printed, and the package listed with `filespack list`.
# Where this host executes 32-bit code (natively or through qemu-user's handler) and 32-bit Wine
# is installed the shipped 32-bit build runs; elsewhere the 64-bit build of the same sources
# does. The run says which.
# FILESPACK_DEMO_BUILD overrides the build folder (default build/demo-<preset>).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

if [ -z "${FILESPACK_DEMO_INNER:-}" ]; then
    # Exit 2: something could not be installed; what is there may still be enough (the
    # 64-bit build when wine32:i386 is missing).
    scripts/install-deps.sh || [ $? -eq 2 ]
fi

if scripts/can-run-win32.sh && [ -x /usr/lib/wine/wine ]; then
    preset=win32
    arch_note="the shipped 32-bit build (PE32) under 32-bit Wine"
    [ "$(scripts/i386-emulation.sh --status)" != qemu ] || arch_note="$arch_note, under qemu-user"
elif [ -x /usr/lib/wine/wine ]; then
    preset=win64
    arch_note="the 64-bit build of the same sources (PE32+) under 64-bit Wine: this host does
      not execute 32-bit code (ia32 emulation is off, no qemu-user handler), so 32-bit Wine
      cannot run here; the 32-bit program is built by scripts/test.sh"
else
    preset=win64
    arch_note="the 64-bit build of the same sources (PE32+) under 64-bit Wine: 32-bit Wine
      (wine32:i386) is not installed; the 32-bit program is built by scripts/test.sh"
fi
build=${FILESPACK_DEMO_BUILD:-build/demo-$preset}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ -z "${FILESPACK_DEMO_INNER:-}" ]; then
    echo "== building the sample product ($preset preset, in $build)"
    cmake --preset "$preset" -B "$build" >/dev/null
    cmake --build "$build" -j 2 --target quolta runner_demo_driver
    scripts/wine-prefix.sh "$preset"
fi

exe=$build/samples/QuoltaSetup.exe
driver=$build/tests/runner/runner_demo_driver.exe
out=$build/demo
source scripts/wine-env.sh "$preset"

# A fresh copy, so the unpack-only folder (named after the executable) is new each time.
run_dir=$out/run
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp "$exe" "$run_dir/QuoltaSetup.exe"
product=$run_dir/QuoltaSetup.exe

explain_exit() {
    case $1 in
        0) echo "0: the run completed" ;;
        1) echo "1: the confirmation was cancelled" ;;
        2) echo "2: no destination folder (abandoned, or an elevated relaunch was started)" ;;
        3) echo "3: the package was missing or could not be extracted" ;;
        4) echo "4: Setup.exe could not be started" ;;
        *) echo "$1" ;;
    esac
}

if [ -n "${DISPLAY:-}" ] && [ -z "${FILESPACK_DEMO_INNER:-}" ]; then
    echo "== running $product"
    echo "   under Wine: $arch_note"
    echo "   Tick 解凍のみ (unpack only) to keep the files in $run_dir/QuoltaSetup;"
    echo "   leave it clear to install (work folder under C:\\windows, Setup.exe, clean-up)."
    set +e
    "$WINE" "$product"
    code=$?
    set -e
    echo "exit code $(explain_exit "$code")"
    [ -d "$run_dir/QuoltaSetup" ] && { echo "unpacked:"; ls -l "$run_dir/QuoltaSetup"; }
    exit 0
fi

if [ -z "${FILESPACK_DEMO_INNER:-}" ]; then
    # No display: the same script again inside a virtual one.
    exec xvfb-run -a -s '-screen 0 1024x768x24' env FILESPACK_DEMO_INNER=1 "$0" "$@"
fi

echo "== headless run in Xvfb under Wine: $arch_note"
shots=$out/screenshots
rm -rf "$shots"
mkdir -p "$shots"
# A persistent server for the run (else Wine's background processes hold the pipes open);
# stopped at the end only when this script started it.
if wineserver -p 2>/dev/null; then
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
fi
"$WINE" wineboot </dev/null >/dev/null 2>&1 || true

n=0
code=""
coproc DRIVER { "$WINE" "$driver" "$product" 2>/dev/null; }
# bash forgets DRIVER_PID as soon as the coprocess ends, which may be before the wait below.
driver_pid=$DRIVER_PID
while IFS= read -r line <&"${DRIVER[0]}"; do
    line=${line%$'\r'}
    case $line in
        SHOT\ *)
            n=$((n + 1))
            file=$shots/$n-${line#SHOT }.png
            import -window root "$file"
            echo "screenshot: $file"
            echo ok >&"${DRIVER[1]}"
            ;;
        EXIT\ *) code=${line#EXIT } ;;
        FAIL\ *) echo "driver: ${line#FAIL }" >&2 ;;
    esac
done
wait "$driver_pid" 2>/dev/null || true

echo "exit code $(explain_exit "${code:-none}")"
echo "ran: $arch_note"
if [ -d "$run_dir/QuoltaSetup" ]; then
    echo "unpacked into $run_dir/QuoltaSetup:"
    LC_ALL=C.UTF-8 ls -l "$run_dir/QuoltaSetup"
fi

host_tool=$(sed -n 's/^FILESPACK_HOST_TOOL:FILEPATH=//p' "$build/CMakeCache.txt")
[ -n "$host_tool" ] || host_tool=$build/host-tools/tools/filespack/filespack
echo "== filespack list $exe"
"$host_tool" list "$exe"
[ "$code" = 0 ]
