#!/usr/bin/env bash
# Lets a host whose kernel does not execute 32-bit x86 code (booted with ia32 emulation off) run
# it through qemu-user: registers qemu-i386-static as the binfmt_misc handler of 32-bit ELF
# programs, so that scripts/can-run-win32.sh then answers for the machine as it is. Does nothing
# where the kernel runs 32-bit code itself: a handler there would put every 32-bit program
# under emulation.
#   --status  prints how this host runs 32-bit code: "native", "qemu" (a registered handler) or
#             "none", and changes nothing.
# FILESPACK_ASSUME_NO_I386=1 takes the kernel for one without 32-bit support, and
# FILESPACK_BINFMT_DIR / FILESPACK_QEMU_I386 name the binfmt_misc folder and the emulator: the
# tests use them.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
binfmt=${FILESPACK_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
qemu=${FILESPACK_QEMU_I386:-/usr/bin/qemu-i386-static}
name=qemu-i386
# qemu's own entry for i386: an ELF32 little-endian executable or shared object (PIE), machine 3.
# Flag F opens the emulator now, so it also serves in containers and chroots.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

handler_enabled() {
    [ -f "$binfmt/$name" ] && head -n1 "$binfmt/$name" | grep -qx enabled
}

kernel_runs_i386() {
    [ -z "${FILESPACK_ASSUME_NO_I386:-}" ] && ! handler_enabled && "$here/can-run-win32.sh"
}

if [ "${1:-}" = --status ]; then
    if handler_enabled; then echo qemu
    elif kernel_runs_i386; then echo native
    else echo none
    fi
    exit 0
fi

if handler_enabled || kernel_runs_i386; then
    exit 0
fi
if [ ! -x "$qemu" ]; then
    echo "32-bit code: this kernel does not execute it and $qemu is missing (qemu-user-static);" \
         "the 32-bit tests are skipped" >&2
    exit 1
fi
# Both steps need root, and a container the privilege to mount. Only the kernel's own folder is
# mounted: any other is a test's.
if [ ! -e "$binfmt/register" ] &&
    { [ -n "${FILESPACK_BINFMT_DIR:-}" ] || ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; }; then
    echo "32-bit code: this kernel does not execute it and binfmt_misc cannot be mounted on" \
         "$binfmt (not root, or a container without the privilege); the 32-bit core tests" \
         "run through $qemu explicitly" >&2
    exit 1
fi
if [ -e "$binfmt/$name" ]; then
    # Registered but switched off: on again.
    written=$( { echo 1 >"$binfmt/$name"; } 2>&1) || true
else
    written=$( { printf ':%s:M::%s:%s:%s:F\n' "$name" "$magic" "$mask" "$qemu" >"$binfmt/register"; } 2>&1) || true
fi
if [ -n "$written" ]; then
    echo "32-bit code: this kernel does not execute it and qemu-user's handler could not be" \
         "registered${written:+ ($written)}; the 32-bit core tests run through $qemu explicitly" >&2
    exit 1
fi
echo "32-bit code: this kernel does not execute it; registered $qemu as its handler" >&2
