#!/usr/bin/env bash
# Every test. Natively: the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded ones (package, filespack) again under ThreadSanitizer, and every fuzzer for a while
# from its seeds, after replaying the inputs that once failed; the portable core's tests built as
# 32-bit programs (the shipped program's word size), run natively or under qemu-user.
# Windows: the 32-bit build (the shipped program) and a 64-bit build of the same sources; the
# Windows tests run under Wine in Xvfb, for each architecture this host can execute.
#
# A suite that fails does not stop the others; the closing summary says what ran on which build,
# what was skipped and why, and how long each took. The exit status is non-zero when a suite that
# must run failed or could not run. The PE32 suite under 32-bit Wine must run only where its
# packages (wine32:i386) could be installed and the host executes 32-bit code.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)

summary=()
failed=()

# record NAME BUILD OUTCOME SECONDS
record() {
    summary+=("$(printf '%-34s %-44s %6s  %s' "$1" "$2" "${4:+${4}s}" "$3")")
}

# suite NAME BUILD COMMAND...: one suite, timed; a failure is recorded and the run goes on.
suite() {
    local name=$1 build=$2 start=$SECONDS rc
    shift 2
    echo "== $name ($build)"
    set +e
    (set -e; "$@")
    rc=$?
    set -e
    if [ "$rc" -eq 0 ]; then
        record "$name" "$build" "ran, passed" $((SECONDS - start))
    else
        record "$name" "$build" "ran, FAILED (exit $rc)" $((SECONDS - start))
        failed+=("$name")
    fi
}

# skip NAME BUILD REASON [must]: a suite that does not run here; "must" makes that a failure.
skip() {
    echo "== $1 ($2): skipped: $3"
    if [ "${4:-}" = must ]; then
        record "$1" "$2" "COULD NOT RUN: $3" ""
        failed+=("$1")
    else
        record "$1" "$2" "skipped: $3" ""
    fi
}

suite "install-deps logic (fake apt)" "no build" tests/scripts/install_deps_test.sh

echo "== install-deps"
deps_start=$SECONDS
deps_log=$(mktemp)
trap 'rm -f "$deps_log"' EXIT
set +e
{ scripts/install-deps.sh 2>&1 1>&3 | tee "$deps_log" >&2; } 3>&1
deps_rc=${PIPESTATUS[0]}
set -e
deps_note=$(grep '^install-deps: could not' "$deps_log" | head -n1 || true)
if [ "$deps_rc" -eq 0 ]; then
    record "install-deps" "apt" "done" $((SECONDS - deps_start))
else
    record "install-deps" "apt" "incomplete (exit $deps_rc)$(echo "${deps_note#install-deps:}" |
        sed 's/ (apt-get update still fails.*/ (apt-get update fails)/; s/; what needs.*//; s/^ */: /; s/^: $//')" $((SECONDS - deps_start))
fi

native_tests() {
    cmake --preset debug >/dev/null
    cmake --build --preset debug -j "$jobs"
    ctest --preset debug -j "$jobs"
}
suite "native unit tests" "debug (ASan + UBSan)" native_tests

tsan_tests() {
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan -j "$jobs"
    ctest --preset tsan -j "$jobs"
}
suite "package and filespack tests" "tsan (ThreadSanitizer)" tsan_tests

suite "fuzzers" "fuzz (clang libFuzzer)" scripts/fuzz.sh "${FILESPACK_FUZZ_SECONDS:-30}"

# How this host runs 32-bit x86 code: natively, through the qemu-user handler install-deps.sh
# registered, or (neither) through qemu-i386-static named explicitly.
i386_status=$(scripts/i386-emulation.sh --status)
core32_tests() {
    cmake --preset linux32 >/dev/null
    cmake --build --preset linux32 -j "$jobs"
    ctest --preset linux32 -j "$jobs"
}
case $i386_status in
    native) suite "portable core, 32-bit" "linux32 (g++ -m32), natively" core32_tests ;;
    qemu) suite "portable core, 32-bit" "linux32 (g++ -m32), under qemu-user" core32_tests ;;
    *)
        if command -v qemu-i386-static >/dev/null; then
            FILESPACK_I386_RUNNER=$(command -v qemu-i386-static) \
                suite "portable core, 32-bit" "linux32 (g++ -m32), qemu-i386-static" core32_tests
        else
            skip "portable core, 32-bit" "linux32 (g++ -m32)" \
                "this kernel runs no 32-bit code and qemu-user-static is missing" must
        fi ;;
esac

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

win32_build() {
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j "$jobs"
    echo "== the sample product's target alone, in fresh build trees"
    scripts/check-product-builds-alone.sh "$PWD/build/win32/host-tools/tools/filespack/filespack"
}
suite "Windows build, product alone" "win32 (PE32, the shipped program)" win32_build

# Under emulation the whole PE32 suite may be slow: the run sequence and a tree product (the
# end-to-end tests), the language subset, and the engine with its integrity check.
pe32_emulated=${FILESPACK_PE32_EMULATED_TESTS:-^(package_tests|runner_e2e_test|runner_e2e_languages)$}
# Whether 32-bit Wine starts under qemu-user at all is tried first: where it does not, the PE32
# suite is skipped rather than failed, and the 32-bit core tests stand in.
wine32_starts() {
    timeout 600 scripts/wine-prefix.sh win32 </dev/null >/dev/null 2>&1 || return 1
    local rc=0
    (source scripts/wine-env.sh win32; timeout 120 "$WINE" cmd.exe /c "exit 7" </dev/null >/dev/null 2>&1) || rc=$?
    [ "$rc" -eq 7 ]
}
pe32_note="the PE32 suite ran under 32-bit Wine (it must run only where its packages are there)"
if [ "$i386_status" = none ]; then
    pe32_note="the PE32 suite was skipped: no 32-bit code runs here; the 32-bit core tests stand in"
    skip "Windows tests on the PE32" "win32 under 32-bit Wine" \
        "this kernel runs no 32-bit code and no qemu-user handler is registered"
elif [ ! -x /usr/lib/wine/wine ]; then
    pe32_note="the PE32 suite was skipped: wine32:i386 is not installed (it must run only where its packages are there); the 32-bit core tests stand in"
    skip "Windows tests on the PE32" "win32 under 32-bit Wine" \
        "wine32:i386 is not installed$(case $deps_note in *wine32*) echo " (install-deps could not install it)" ;; esac)"
elif [ "$i386_status" = qemu ] && ! wine32_starts; then
    pe32_note="the PE32 suite was skipped: 32-bit Wine does not start under qemu-user; the 32-bit core tests stand in"
    skip "Windows tests on the PE32" "win32 under 32-bit Wine under qemu-user" \
        "32-bit Wine does not start under qemu-user (its prefix, or cmd.exe, failed or timed out)"
elif [ "$i386_status" = qemu ]; then
    pe32_note="the PE32 suite ran under 32-bit Wine under qemu-user, a subset: $pe32_emulated"
    suite "Windows tests on the PE32 (subset)" "win32 under 32-bit Wine under qemu-user" \
        run_wine_tests win32 -R "$pe32_emulated"
else
    suite "Windows tests on the PE32" "win32 under 32-bit Wine" run_wine_tests win32
fi

win64_tests() {
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j "$jobs"
    run_wine_tests win64
}
suite "Windows tests" "win64 (PE32+) under 64-bit Wine" win64_tests

# The tests labelled "languages" again under each other language setting, each in its own prefix
# (Wine takes the ANSI code page from the locale: 1252, 936, 949, and 65001 for hi_IN).
for wine_locale in en_US zh_CN ko_KR hi_IN; do
    FILESPACK_WINE_LOCALE=$wine_locale.UTF-8 suite "language setting $wine_locale.UTF-8" \
        "win64 under 64-bit Wine" run_wine_tests win64 -L languages
done

echo
echo "== summary"
printf '%-34s %-44s %6s  %s\n' suite build time outcome
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "test.sh: FAILED: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g'); $pe32_note"
    exit 1
fi
echo "test.sh: every suite that must run passed; $pe32_note"
