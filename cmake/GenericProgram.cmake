# The generic Windows program beside a native filespack, which stamps it: cross-built with the
# mingw-w64 toolchain from this same source tree, as the 32-bit program that ships. Without the
# toolchain filespack still builds, and `filespack exe` then needs --stub.
include_guard(GLOBAL)

find_program(FILESPACK_MINGW_CXX i686-w64-mingw32-g++-posix)
if(NOT FILESPACK_MINGW_CXX)
    message(STATUS "No i686-w64-mingw32-g++-posix: filespack is built without the generic program")
    return()
endif()

include(ExternalProject)
set(program_dir ${CMAKE_BINARY_DIR}/generic-program)
set(FILESPACK_GENERIC_PROGRAM ${CMAKE_BINARY_DIR}/tools/filespack/filespack-stub.exe)
ExternalProject_Add(filespack_generic_program
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${program_dir}
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
        -DCMAKE_BUILD_TYPE=Release
        -DFILESPACK_PROGRAM_ONLY=ON
        -DFILESPACK_TESTS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${program_dir} --target filespack_stub -j 2
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different
        ${program_dir}/program/filespack-stub.exe ${FILESPACK_GENERIC_PROGRAM}
    # Always ask: it is up to date in a moment, and it follows source edits.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${FILESPACK_GENERIC_PROGRAM}
)
# A Windows program is data to this system, the same for every host: it goes with the
# architecture-independent files, where filespack looks after the folder it runs from.
include(GNUInstallDirs)
install(PROGRAMS ${FILESPACK_GENERIC_PROGRAM} DESTINATION ${CMAKE_INSTALL_DATADIR}/filespack)
