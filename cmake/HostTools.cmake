# A native `filespack` for packing products at build time. Natively it is this tree's own
# target; in a cross build it is built from this same source tree for the host, unless the cache
# variable FILESPACK_HOST_TOOL names one already built.
#
# Records, as global properties (the functions using them run in other directories),
# FILESPACK_HOST_EXE (a path or generator expression) and FILESPACK_HOST_DEPENDS (a target or empty).
include_guard(GLOBAL)

set(FILESPACK_HOST_TOOL "" CACHE FILEPATH
    "A native filespack used at build time; built from this source tree when empty")

if(FILESPACK_HOST_TOOL)
    set(FILESPACK_HOST_EXE ${FILESPACK_HOST_TOOL})
    set(FILESPACK_HOST_DEPENDS "")
elseif(NOT CMAKE_CROSSCOMPILING)
    set(FILESPACK_HOST_EXE $<TARGET_FILE:filespack>)
    set(FILESPACK_HOST_DEPENDS filespack)
else()
    include(ExternalProject)
    set(host_dir ${CMAKE_BINARY_DIR}/host-tools)
    # The host build gets no toolchain file: it uses the machine's own compiler.
    ExternalProject_Add(filespack_host
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${host_dir}
        CMAKE_ARGS
            -DCMAKE_BUILD_TYPE=Release
            -DFILESPACK_TOOLS_ONLY=ON
            -DFILESPACK_TESTS=OFF
            # GCC 12's libstdc++ string code gives false -Wrestrict reports at -O3 (GCC bug
            # 105329); the tool's own warnings stay errors.
            -DCMAKE_CXX_FLAGS=-Wno-error=restrict
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_dir} --target filespack -j 2
        INSTALL_COMMAND ""
        # Always ask the host build: it is up to date in a moment, and it follows source edits.
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${host_dir}/tools/filespack/filespack
        EXCLUDE_FROM_ALL ON
    )
    set(FILESPACK_HOST_EXE ${host_dir}/tools/filespack/filespack)
    set(FILESPACK_HOST_DEPENDS filespack_host)
endif()

set_property(GLOBAL PROPERTY FILESPACK_HOST_EXE "${FILESPACK_HOST_EXE}")
set_property(GLOBAL PROPERTY FILESPACK_HOST_DEPENDS "${FILESPACK_HOST_DEPENDS}")
