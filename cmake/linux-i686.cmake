# 32-bit x86 Linux with the host's own g++ (g++-multilib): the portable core in the shipped
# program's word size, for a host that cannot run 32-bit Windows programs. The tests run
# through scripts/run-i386.sh: directly where the kernel (or a registered qemu-user handler)
# executes 32-bit code, under qemu-user explicitly otherwise.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
# Debian installs no 32-bit libzstd here (it would need the i386 archive): compile the pinned
# source tree, as the Windows builds do.
set(FILESPACK_ZSTD_FROM_SOURCE ON CACHE BOOL "")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-i386.sh)
