#!/usr/bin/env bash
# install-deps.sh, fetch-zstd.sh and i386-emulation.sh against a fake apt (apt-get, apt-cache,
# dpkg-query, dpkg, dpkg-source, sudo on PATH): a mirror whose index fails for a while or for
# good, packages that cannot be installed, and a binfmt_misc folder that is a plain one. Needs no
# build, no network and no root; scripts/test.sh runs it first.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $case_name: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected '$3', got '$2'"; }
expect_grep() { grep -q -- "$2" "$3" || { fail "$1: no '$2' in $(basename "$3")"; sed 's/^/    /' "$3"; }; }
expect_no_grep() { ! grep -q -- "$2" "$3" || { fail "$1: '$2' in $(basename "$3")"; sed 's/^/    /' "$3"; }; }

# The fakes keep their state in $FAKE: installed packages, a count of update calls, a log.
make_fakes() {
    local bin=$1
    mkdir -p "$bin"
    cat >"$bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/log"
case " $* " in
*" update "*)
    n=$(($(cat "$FAKE/updates" 2>/dev/null || echo 0) + 1))
    echo "$n" >"$FAKE/updates"
    # The source listing shows up with any update, failed or not: apt keeps what it fetched.
    touch "$FAKE/listed"
    if [ "$n" -le "${FAKE_UPDATE_FAILS:-0}" ]; then
        echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0 ;;
*" install "*)
    pkgs=()
    for a in "$@"; do case $a in -*|install) ;; *) pkgs+=("$a") ;; esac; done
    for p in "${pkgs[@]}"; do
        if [[ " ${FAKE_UNINSTALLABLE:-} " == *" $p "* ]]; then
            echo "E: Unable to correct problems, you have held broken packages ($p)." >&2
            exit 100
        fi
    done
    printf '%s\n' "${pkgs[@]}" >>"$FAKE/installed"
    exit 0 ;;
*" source "*)
    touch libzstd_1.5.4+dfsg2-5.dsc
    exit 0 ;;
esac
exit 0
FAKE
    cat >"$bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
p=${*: -1}
if [ "$p" = libzstd-dev ] && [[ "$*" == *Version* ]]; then echo "1.5.4+dfsg2-5"; exit 0; fi
grep -qx -- "$p" "$FAKE/installed" 2>/dev/null || exit 1
echo "install ok installed"
FAKE
    cat >"$bin/apt-cache" <<'FAKE'
#!/usr/bin/env bash
[ -f "$FAKE/listed" ] && [ -n "${FAKE_SOURCE_VERSION:-}" ] && echo "Version: $FAKE_SOURCE_VERSION"
exit 0
FAKE
    cat >"$bin/dpkg-source" <<'FAKE'
#!/usr/bin/env bash
mkdir -p "${*: -1}/lib" && touch "${*: -1}/lib/zstd.h"
FAKE
    cat >"$bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE/log"
FAKE
    cat >"$bin/sudo" <<'FAKE'
#!/usr/bin/env bash
exec "$@"
FAKE
    cat >"$bin/locale" <<'FAKE'
#!/usr/bin/env bash
printf '%s\n' C.utf8 ja_JP.utf8 en_US.utf8 zh_CN.utf8 ko_KR.utf8 hi_IN.utf8
FAKE
    chmod +x "$bin"/*
}

# A copy of the scripts whose neighbours install-deps.sh calls are recorders, so that its own
# logic is what runs.
make_scripts() {
    local dir=$1
    mkdir -p "$dir"
    cp "$root/scripts/install-deps.sh" "$root/scripts/apt-steps.sh" "$dir/"
    printf '#!/usr/bin/env bash\necho ran >>"$FAKE/fetch-zstd"\n' >"$dir/fetch-zstd.sh"
    printf '#!/usr/bin/env bash\necho ran >>"$FAKE/i386-emulation"\n' >"$dir/i386-emulation.sh"
    chmod +x "$dir"/*.sh
}

all_packages() {
    sed -n '/^packages=(/,/^)/p' "$root/scripts/install-deps.sh" | sed '1d;$d' | tr -s ' \n' '\n' | sed '/^$/d'
    echo "wine32:i386"
}

# run_install CASE [ENV...]: install-deps.sh in a fresh fake world; sets $rc and $out.
run_install() {
    case_name=$1
    shift
    FAKE=$work/$case_name
    mkdir -p "$FAKE"
    make_fakes "$FAKE/bin"
    make_scripts "$FAKE/scripts"
    out=$FAKE/out
    env FAKE="$FAKE" PATH="$FAKE/bin:$PATH" FILESPACK_APT_UPDATE_PAUSE=0 "$@" \
        "$FAKE/scripts/install-deps.sh" >"$out" 2>&1
    rc=$?
}

installed_count() { sort -u "$FAKE/installed" 2>/dev/null | wc -l; }

# The mirror heals during the retries: everything goes in with one install.
run_install update-fails-twice FAKE_UPDATE_FAILS=2
expect_eq "exit status" "$rc" 0
expect_eq "update calls" "$(cat "$FAKE/updates")" 3
expect_eq "install calls" "$(grep -c ' install ' "$FAKE/log")" 1
expect_eq "installed" "$(installed_count)" "$(all_packages | wc -l)"
expect_no_grep "no complaint" "could not install" "$out"

# The i386 index never comes right: the update is given up after its tries, the native packages
# still go in, the 32-bit one is named, and the later steps run.
run_install index-keeps-failing FAKE_UPDATE_FAILS=99 FAKE_UNINSTALLABLE=wine32:i386
expect_eq "exit status" "$rc" 2
expect_eq "update calls" "$(cat "$FAKE/updates")" 4
expect_eq "installed" "$(installed_count)" "$(($(all_packages | wc -l) - 1))"
expect_grep "one line" "install-deps: could not install wine32:i386 (apt-get update still fails: E: Failed to fetch" "$out"
expect_eq "lines naming what is missing" "$(grep -c 'could not install' "$out")" 1
expect_eq "fetch-zstd ran" "$(cat "$FAKE/fetch-zstd" 2>/dev/null)" ran
expect_eq "i386-emulation ran" "$(cat "$FAKE/i386-emulation" 2>/dev/null)" ran

# A native package that cannot be had either: the others go in one by one.
run_install native-package-missing FAKE_UNINSTALLABLE="wine32:i386 imagemagick"
expect_eq "exit status" "$rc" 2
expect_eq "installed" "$(installed_count)" "$(($(all_packages | wc -l) - 2))"
expect_grep "both named" "could not install imagemagick wine32:i386;" "$out"

# Everything already there: apt is not asked at all.
case_name=nothing-missing
FAKE=$work/$case_name
mkdir -p "$FAKE"
make_fakes "$FAKE/bin"
make_scripts "$FAKE/scripts"
all_packages >"$FAKE/installed"
env FAKE="$FAKE" PATH="$FAKE/bin:$PATH" "$FAKE/scripts/install-deps.sh" >"$FAKE/out" 2>&1
expect_eq "exit status" "$?" 0
expect_eq "apt calls" "$(cat "$FAKE/log" 2>/dev/null | grep -c apt-get)" 0

# fetch-zstd.sh: RUN_FETCH CASE [ENV...] in a fake world with its own cache; sets $rc and $out.
run_fetch() {
    case_name=$1
    shift
    FAKE=$work/$case_name
    mkdir -p "$FAKE/cache"
    make_fakes "$FAKE/bin"
    touch "$FAKE/deb-src.sources"
    out=$FAKE/out
    env FAKE="$FAKE" PATH="$FAKE/bin:$PATH" FILESPACK_APT_UPDATE_PAUSE=0 FILESPACK_DEPS="$FAKE/cache" \
        FILESPACK_DEB_SRC_LIST="$FAKE/deb-src.sources" "$@" "$root/scripts/fetch-zstd.sh" >"$out" 2>&1
    rc=$?
}

# An unpacked tree and no listing: no update, the tree is kept.
case_name=fetch-unpacked
FAKE=$work/$case_name
mkdir -p "$FAKE/cache/zstd-1.5.4+dfsg2-5/lib"
touch "$FAKE/cache/zstd-1.5.4+dfsg2-5/lib/zstd.h"
ln -s zstd-1.5.4+dfsg2-5 "$FAKE/cache/zstd-1.5.4"
run_fetch fetch-unpacked
expect_eq "exit status" "$rc" 0
expect_eq "update calls" "$(cat "$FAKE/updates" 2>/dev/null || echo 0)" 0
expect_grep "the tree" "zstd-1.5.4+dfsg2-5$" "$out"

# No tree, no listing, and an update that fails for an unrelated index: the listing it did
# fetch is used.
run_fetch fetch-update-fails FAKE_UPDATE_FAILS=99 FAKE_SOURCE_VERSION=1.5.4+dfsg2-5
expect_eq "exit status" "$rc" 0
expect_grep "the tree" "cache/zstd-1.5.4+dfsg2-5$" "$out"
expect_eq "update calls" "$(cat "$FAKE/updates")" 1
[ -f "$FAKE/cache/zstd-1.5.4/lib/zstd.h" ] || fail "no unpacked tree"

# i386-emulation.sh on a kernel taken to lack 32-bit support, with a plain folder for binfmt_misc.
run_emulation() {
    case_name=$1
    shift
    FAKE=$work/$case_name
    mkdir -p "$FAKE/binfmt"
    : >"$FAKE/binfmt/register"
    out=$FAKE/out
    env FILESPACK_ASSUME_NO_I386=1 FILESPACK_BINFMT_DIR="$FAKE/binfmt" FILESPACK_QEMU_I386=/bin/true "$@" \
        "$root/scripts/i386-emulation.sh" >"$out" 2>&1
    rc=$?
}

run_emulation emulation-registers
expect_eq "exit status" "$rc" 0
expect_eq "register line" "$(cat "$FAKE/binfmt/register")" \
    ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/bin/true:F'

case_name=emulation-already-on
FAKE=$work/$case_name
mkdir -p "$FAKE/binfmt"
: >"$FAKE/binfmt/register"
printf 'enabled\ninterpreter /bin/true\n' >"$FAKE/binfmt/qemu-i386"
status=$(FILESPACK_ASSUME_NO_I386=1 FILESPACK_BINFMT_DIR="$FAKE/binfmt" "$root/scripts/i386-emulation.sh" --status)
expect_eq "status" "$status" qemu
FILESPACK_ASSUME_NO_I386=1 FILESPACK_BINFMT_DIR="$FAKE/binfmt" FILESPACK_QEMU_I386=/bin/true \
    "$root/scripts/i386-emulation.sh" >/dev/null 2>&1
expect_eq "nothing registered again" "$(cat "$FAKE/binfmt/register")" ""

case_name=emulation-no-qemu
FAKE=$work/$case_name
mkdir -p "$FAKE/binfmt"
: >"$FAKE/binfmt/register"
FILESPACK_ASSUME_NO_I386=1 FILESPACK_BINFMT_DIR="$FAKE/binfmt" FILESPACK_QEMU_I386=$FAKE/none \
    "$root/scripts/i386-emulation.sh" >"$FAKE/out" 2>&1
expect_eq "exit status" "$?" 1
expect_grep "says why" "is missing (qemu-user-static)" "$FAKE/out"
expect_eq "status" "$(FILESPACK_ASSUME_NO_I386=1 FILESPACK_BINFMT_DIR="$FAKE/binfmt" "$root/scripts/i386-emulation.sh" --status)" none

if [ "$failures" -gt 0 ]; then
    echo "install_deps_test: $failures failure(s)"
    exit 1
fi
echo "install_deps_test: all passed"
