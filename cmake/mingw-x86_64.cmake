# 64-bit Windows with mingw-w64: the same sources as the 32-bit program, for running the tests
# under 64-bit Wine where the host cannot execute 32-bit code.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
