#!/usr/bin/env bash
# Exit 0 when this host can execute 32-bit x86 code (32-bit Wine needs it). Some kernels are
# booted with ia32_emulation off; there the answer is yes only once scripts/i386-emulation.sh
# (run by install-deps.sh) has registered qemu-user as the handler of 32-bit programs.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '.globl _start\n_start:\n mov $1,%%eax\n xor %%ebx,%%ebx\n int $0x80\n' >"$dir/t.s"
as --32 "$dir/t.s" -o "$dir/t.o" 2>/dev/null && ld -m elf_i386 "$dir/t.o" -o "$dir/t" 2>/dev/null || exit 1
"$dir/t" 2>/dev/null
