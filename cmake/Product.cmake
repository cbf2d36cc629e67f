# Building a product's executable: the generic program stamped with five identity strings and a
# package by the host filespack (`filespack exe`), the one way products are made.
#
# filespack_add_product(
#     TARGET quolta
#     NAME "Quolta" DESCRIPTION "インターネット電話 Quolta" VERSION "Ver 1.71"
#     CAPTION "SelfUnpack - Quolta" RESOURCE_NAME QUOLTA
#     [FILES_DIR dir]                      a folder's files, its subfolders' too (empty folders
#                                          are not stored)
#     [EXTRA_FILES file name ...]          pairs: a file (generator expressions allowed), the
#                                          name it gets in the package (folders joined by '/')
#     [READ_ONLY_FILES name ...]           packed with the read-only attribute (names as above)
#     [MTIME seconds]                      every file's times, for a reproducible package
#     [BLOCK_SIZE n]
#     [METHOD classic|zstd|stream] [LEVEL n] how chunks are encoded (default: stream at
#                                          filespack's default level, as `filespack exe` packs)
#     [PACKAGE_FILE file]                  stamp this package as it is instead of packing
#     [NO_PACKAGE]                         no package resource at all
#     [ICON file.ico] [COMPANY text] [COPYRIGHT text] [FILE_VERSION 1.7.1.0]
#     [SIGN_CERT cert.pem SIGN_KEY key.pem]  sign with osslsigncode (default: the cache
#                                          variables FILESPACK_SIGN_CERT and FILESPACK_SIGN_KEY)
#     [OUTPUT_NAME name])
#
# The target is a custom target; the executable's path is its FILESPACK_PRODUCT_FILE property.
# The package becomes resource type "FILESPACK" named RESOURCE_NAME. The strings are UTF-8 here
# and Shift-JIS in the program; strings that would not fit the program's fixed text buffers are
# rejected when the build is configured.
include_guard(GLOBAL)

include(${CMAKE_CURRENT_LIST_DIR}/HostTools.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ProductStrings.cmake)

set(FILESPACK_PRODUCT_SCRIPT_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
set(FILESPACK_SIGN_CERT "" CACHE FILEPATH "PEM certificate (chain) that signs every product")
set(FILESPACK_SIGN_KEY "" CACHE FILEPATH "PEM private key that signs every product")

# windres reads the UTF-8 sources as code page 65001 and stores the strings as UTF-16.
function(filespack_compile_resources output source)
    cmake_parse_arguments(ARG "" "" "DEPENDS;INCLUDES" ${ARGN})
    get_filename_component(source_dir ${source} DIRECTORY)
    set(include_args -I ${source_dir} -I ${PROJECT_SOURCE_DIR}/resources)
    foreach(dir IN LISTS ARG_INCLUDES)
        list(APPEND include_args -I ${dir})
    endforeach()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_RC_COMPILER} -c 65001 ${include_args} -O coff -i ${source} -o ${output}
        DEPENDS ${source} ${ARG_DEPENDS}
        WORKING_DIRECTORY ${source_dir}
        COMMENT "Compiling resources ${source}"
        VERBATIM)
endfunction()

function(filespack_add_product)
    cmake_parse_arguments(P "NO_PACKAGE"
        "TARGET;NAME;DESCRIPTION;VERSION;CAPTION;RESOURCE_NAME;FILES_DIR;PACKAGE_FILE;OUTPUT_NAME;MTIME;BLOCK_SIZE;METHOD;LEVEL;ICON;COMPANY;COPYRIGHT;FILE_VERSION;SIGN_CERT;SIGN_KEY"
        "EXTRA_FILES;READ_ONLY_FILES" ${ARGN})
    if(NOT P_TARGET)
        message(FATAL_ERROR "filespack_add_product: TARGET is required")
    endif()
    if(P_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "filespack_add_product(${P_TARGET}): unknown ${P_UNPARSED_ARGUMENTS}")
    endif()
    if(P_CAPTION STREQUAL "")
        set(P_CAPTION "Self Unpack")
    endif()
    filespack_check_product_strings(literal "${P_NAME}" "${P_DESCRIPTION}" "${P_VERSION}"
        "${P_CAPTION}" "${P_RESOURCE_NAME}")
    if(NOT P_SIGN_CERT AND NOT P_SIGN_KEY)
        set(P_SIGN_CERT ${FILESPACK_SIGN_CERT})
        set(P_SIGN_KEY ${FILESPACK_SIGN_KEY})
    endif()
    if((P_SIGN_CERT AND NOT P_SIGN_KEY) OR (P_SIGN_KEY AND NOT P_SIGN_CERT))
        message(FATAL_ERROR "filespack_add_product(${P_TARGET}): SIGN_CERT and SIGN_KEY go together")
    endif()

    set(depends "")
    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${P_TARGET}-product)
    file(MAKE_DIRECTORY ${gen})

    set(package "")
    set(package_args "")
    if(P_NO_PACKAGE)
        set(package_args --no-package)
    elseif(P_PACKAGE_FILE)
        get_filename_component(package ${P_PACKAGE_FILE} ABSOLUTE)
        set(package_args --package ${package})
        _filespack_depend_on_target(${P_PACKAGE_FILE} depends)
    else()
        _filespack_pack_files(${P_TARGET} ${gen} package)
        set(package_args --package ${package})
    endif()

    if(P_OUTPUT_NAME)
        set(exe_name ${P_OUTPUT_NAME}.exe)
    else()
        set(exe_name ${P_TARGET}.exe)
    endif()
    set(options "")
    foreach(pair COMPANY:--company COPYRIGHT:--copyright FILE_VERSION:--file-version)
        string(REPLACE ":" ";" pair "${pair}")
        list(GET pair 0 key)
        list(GET pair 1 option)
        if(DEFINED P_${key})
            list(APPEND options "${option}=${P_${key}}")
        endif()
    endforeach()
    if(P_ICON)
        get_filename_component(icon ${P_ICON} ABSOLUTE)
        list(APPEND depends ${icon})
        list(APPEND options "--icon=${icon}")
    endif()

    get_property(host_exe GLOBAL PROPERTY FILESPACK_HOST_EXE)
    get_property(host_depends GLOBAL PROPERTY FILESPACK_HOST_DEPENDS)
    set(exe ${CMAKE_CURRENT_BINARY_DIR}/${exe_name})
    set(stamped ${exe})
    if(P_SIGN_CERT)
        # The unsigned bytes stay: they are the same on every build, the signature is not.
        set(stamped ${gen}/${exe_name})
    endif()
    add_custom_command(
        OUTPUT ${stamped}
        COMMAND ${host_exe} exe ${stamped} ${package_args} -q
                --stub $<TARGET_FILE:filespack_stub>
                "--name=${P_NAME}" "--description=${P_DESCRIPTION}"
                "--product-version=${P_VERSION}" "--caption=${P_CAPTION}"
                "--resource-name=${P_RESOURCE_NAME}" ${options}
        DEPENDS ${package} filespack_stub ${host_depends} ${host_exe} ${depends}
        COMMENT "Stamping ${exe_name}"
        VERBATIM)
    if(P_SIGN_CERT)
        find_program(FILESPACK_OSSLSIGNCODE osslsigncode REQUIRED)
        get_filename_component(cert ${P_SIGN_CERT} ABSOLUTE)
        get_filename_component(key ${P_SIGN_KEY} ABSOLUTE)
        add_custom_command(
            OUTPUT ${exe}
            COMMAND ${CMAKE_COMMAND} -E rm -f ${exe}
            COMMAND ${FILESPACK_OSSLSIGNCODE} sign -certs ${cert} -key ${key}
                    -h sha256 -in ${stamped} -out ${exe}
            DEPENDS ${stamped} ${cert} ${key}
            COMMENT "Signing ${exe_name}"
            VERBATIM)
    endif()
    add_custom_target(${P_TARGET} ALL DEPENDS ${exe})
    set_target_properties(${P_TARGET} PROPERTIES FILESPACK_PRODUCT_FILE ${exe})
endfunction()

# A file named as $<TARGET_FILE:t> is made by the target t. A file dependency alone does not say
# so: Makefiles then look for a rule to make the file in this folder, and a product target built
# on its own fails in a fresh build tree. Naming the target as well orders the builds.
function(_filespack_depend_on_target file out_depends)
    if(file MATCHES "^\\$<TARGET_FILE:([^>]+)>$")
        set(${out_depends} ${${out_depends}} ${CMAKE_MATCH_1} PARENT_SCOPE)
    endif()
endfunction()

# Stages FILES_DIR and EXTRA_FILES into one folder and packs it with the host filespack.
function(_filespack_pack_files target gen out_package)
    set(stage ${gen}/files)
    set(package ${gen}/${target}.pack)
    set(depends "")
    set(lines "file(REMOVE_RECURSE [==[${stage}]==])\nfile(MAKE_DIRECTORY [==[${stage}]==])\n")
    if(P_FILES_DIR)
        get_filename_component(files_dir ${P_FILES_DIR} ABSOLUTE)
        file(GLOB_RECURSE inputs LIST_DIRECTORIES false CONFIGURE_DEPENDS ${files_dir}/*)
        list(APPEND depends ${inputs})
        foreach(input IN LISTS inputs)
            file(RELATIVE_PATH relative ${files_dir} ${input})
            get_filename_component(folder "${stage}/${relative}" DIRECTORY)
            string(APPEND lines "file(COPY [==[${input}]==] DESTINATION [==[${folder}]==])\n")
        endforeach()
    endif()
    list(LENGTH P_EXTRA_FILES count)
    math(EXPR odd "${count} % 2")
    if(odd)
        message(FATAL_ERROR "filespack_add_product(${target}): EXTRA_FILES takes pairs: file name")
    endif()
    while(P_EXTRA_FILES)
        list(POP_FRONT P_EXTRA_FILES source name)
        list(APPEND depends ${source})
        _filespack_depend_on_target(${source} depends)
        get_filename_component(folder "${stage}/${name}" DIRECTORY)
        string(APPEND lines "file(MAKE_DIRECTORY [==[${folder}]==])\n"
            "file(COPY_FILE [==[${source}]==] [==[${stage}/${name}]==])\n")
    endwhile()
    foreach(name IN LISTS P_READ_ONLY_FILES)
        string(APPEND lines "file(CHMOD [==[${stage}/${name}]==] "
                            "PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)\n")
    endforeach()
    if(NOT depends)
        message(FATAL_ERROR "filespack_add_product(${target}): no FILES_DIR, EXTRA_FILES, "
                            "PACKAGE_FILE or NO_PACKAGE")
    endif()
    file(GENERATE OUTPUT ${gen}/stage.cmake CONTENT "${lines}")

    get_property(host_exe GLOBAL PROPERTY FILESPACK_HOST_EXE)
    get_property(host_depends GLOBAL PROPERTY FILESPACK_HOST_DEPENDS)
    set(options "")
    if(P_BLOCK_SIZE)
        list(APPEND options --block-size ${P_BLOCK_SIZE})
    endif()
    if(NOT P_METHOD)
        set(P_METHOD stream)
    endif()
    list(APPEND options --method ${P_METHOD})
    if(P_LEVEL)
        list(APPEND options --level ${P_LEVEL})
    endif()
    set(environment "")
    if(NOT "${P_MTIME}" STREQUAL "")
        set(environment SOURCE_DATE_EPOCH=${P_MTIME})
    endif()
    add_custom_command(
        OUTPUT ${package}
        COMMAND ${CMAKE_COMMAND} -P ${gen}/stage.cmake
        COMMAND ${CMAKE_COMMAND} -E env ${environment}
                ${host_exe} create -r ${package} ${stage} ${options}
        DEPENDS ${depends} ${gen}/stage.cmake ${host_depends} ${host_exe}
        COMMENT "Packing ${target}"
        VERBATIM)
    set(${out_package} ${package} PARENT_SCOPE)
endfunction()
