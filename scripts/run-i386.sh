#!/usr/bin/env bash
# Runs a 32-bit x86 Linux program (the linux32 build's tests; CTest uses it as the
# cross-compiling emulator). FILESPACK_I386_RUNNER names a program to run it through
# (qemu-i386-static) where this host executes no 32-bit code and no qemu-user handler is
# registered for it; empty, the kernel runs it.
set -euo pipefail
if [ -n "${FILESPACK_I386_RUNNER:-}" ]; then
    exec "$FILESPACK_I386_RUNNER" "$@"
fi
exec "$@"
