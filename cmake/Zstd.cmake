# libzstd: the run-length stage's frame mode. Natively Debian's libzstd-dev; for Windows and the
# 32-bit Linux build (FILESPACK_ZSTD_FROM_SOURCE), Debian's source package of the same upstream
# version, unpacked by scripts/fetch-zstd.sh (which scripts/install-deps.sh runs) and compiled
# here with the project's toolchain. Two targets: zstd_decode, all the generic program links,
# and zstd_encode, which filespack adds.
set(FILESPACK_ZSTD_VERSION 1.5.4)

option(FILESPACK_ZSTD_FROM_SOURCE "Compile libzstd from its source tree, not libzstd-dev" OFF)
if(NOT WIN32 AND NOT FILESPACK_ZSTD_FROM_SOURCE)
    find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
    find_library(ZSTD_LIBRARY zstd REQUIRED)
    file(STRINGS ${ZSTD_INCLUDE_DIR}/zstd.h zstd_version_lines REGEX "^#define ZSTD_VERSION_(MAJOR|MINOR|RELEASE) ")
    string(REGEX REPLACE ".*MAJOR +([0-9]+).*MINOR +([0-9]+).*RELEASE +([0-9]+).*" "\\1.\\2.\\3"
           zstd_found_version "${zstd_version_lines}")
    if(NOT zstd_found_version STREQUAL FILESPACK_ZSTD_VERSION)
        message(FATAL_ERROR "libzstd-dev is ${zstd_found_version}; the build is pinned to "
                            "${FILESPACK_ZSTD_VERSION} (see scripts/fetch-zstd.sh)")
    endif()
    add_library(zstd_decode INTERFACE)
    target_include_directories(zstd_decode SYSTEM INTERFACE ${ZSTD_INCLUDE_DIR})
    target_link_libraries(zstd_decode INTERFACE ${ZSTD_LIBRARY})
    add_library(zstd_encode INTERFACE)
    target_link_libraries(zstd_encode INTERFACE zstd_decode)
    return()
endif()

set(FILESPACK_ZSTD_SOURCE /var/cache/filespack/zstd-${FILESPACK_ZSTD_VERSION} CACHE PATH
    "Debian's libzstd source tree, unpacked by scripts/fetch-zstd.sh")
if(NOT EXISTS ${FILESPACK_ZSTD_SOURCE}/lib/zstd.h)
    message(FATAL_ERROR "No libzstd source at ${FILESPACK_ZSTD_SOURCE}: run scripts/install-deps.sh "
                        "(or scripts/fetch-zstd.sh)")
endif()
set(zstd_lib ${FILESPACK_ZSTD_SOURCE}/lib)

add_library(zstd_decode STATIC
    ${zstd_lib}/common/entropy_common.c
    ${zstd_lib}/common/error_private.c
    ${zstd_lib}/common/fse_decompress.c
    ${zstd_lib}/common/xxhash.c
    ${zstd_lib}/common/zstd_common.c
    ${zstd_lib}/decompress/huf_decompress.c
    ${zstd_lib}/decompress/zstd_ddict.c
    ${zstd_lib}/decompress/zstd_decompress.c
    ${zstd_lib}/decompress/zstd_decompress_block.c
)
add_library(zstd_encode STATIC
    ${zstd_lib}/compress/fse_compress.c
    ${zstd_lib}/compress/hist.c
    ${zstd_lib}/compress/huf_compress.c
    ${zstd_lib}/compress/zstd_compress.c
    ${zstd_lib}/compress/zstd_compress_literals.c
    ${zstd_lib}/compress/zstd_compress_sequences.c
    ${zstd_lib}/compress/zstd_compress_superblock.c
    ${zstd_lib}/compress/zstd_double_fast.c
    ${zstd_lib}/compress/zstd_fast.c
    ${zstd_lib}/compress/zstd_lazy.c
    ${zstd_lib}/compress/zstd_ldm.c
    ${zstd_lib}/compress/zstd_opt.c
)
target_link_libraries(zstd_encode PUBLIC zstd_decode)
foreach(target zstd_decode zstd_encode)
    set_target_properties(${target} PROPERTIES C_STANDARD 99 C_EXTENSIONS ON)
    # Legacy frames and threads off: the program reads one current frame per chunk. Its own code,
    # so its own warnings: -w keeps the project's -Werror from judging it.
    target_compile_definitions(${target} PRIVATE ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM=1
                               XXH_NAMESPACE=ZSTD_ DEBUGLEVEL=0)
    target_compile_options(${target} PRIVATE -w
                           -ffile-prefix-map=${FILESPACK_ZSTD_SOURCE}=zstd-${FILESPACK_ZSTD_VERSION})
endforeach()
target_include_directories(zstd_decode SYSTEM PUBLIC ${zstd_lib})
