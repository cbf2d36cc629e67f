# Building a product's executable: the generic program, five identity strings and a package.
#
# filespack_add_product(
#     TARGET quolta
#     NAME "Quolta" DESCRIPTION "インターネット電話 Quolta" VERSION "Ver 1.71"
#     CAPTION "SelfUnpack - Quolta" RESOURCE_NAME QUOLTA
#     [FILES_DIR dir]                      top-level files of a folder
#     [EXTRA_FILES file name ...]          pairs: a file (generator expressions allowed), the
#                                          name it gets in the package
#     [READ_ONLY_FILES name ...]           packed with the read-only attribute
#     [MTIME seconds]                      every file's times, for a reproducible package
#     [BLOCK_SIZE n]
#     [PACKAGE_FILE file]                  link this package as it is instead of packing
#     [NO_PACKAGE]                         no package resource at all
#     [OUTPUT_NAME name])
#
# The package becomes resource type "FILESPACK" named RESOURCE_NAME. The strings are UTF-8 here
# and Shift-JIS in the program; strings that would not fit the program's fixed text buffers are
# rejected when the build is configured.
include_guard(GLOBAL)

include(${CMAKE_CURRENT_LIST_DIR}/HostTools.cmake)

set(FILESPACK_PRODUCT_SCRIPT_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")

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

# The Shift-JIS bytes of `text` as a C string literal of \x escapes (independent of the
# compiler's character sets) and their count. Fails for text with no Shift-JIS form.
function(_filespack_shift_jis text out_literal out_length)
    set(scratch ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/filespack_sjis)
    file(WRITE ${scratch}.utf8 "${text}")
    execute_process(
        COMMAND iconv -f UTF-8 -t CP932 -o ${scratch}.sjis ${scratch}.utf8
        RESULT_VARIABLE failed
        ERROR_QUIET)
    if(failed)
        message(FATAL_ERROR "\"${text}\" has no Shift-JIS (code page 932) form")
    endif()
    file(READ ${scratch}.sjis hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR length "${digits} / 2")
    string(REGEX REPLACE "(..)" "\\\\x\\1" literal "${hex}")
    set(${out_literal} "\"${literal}\"" PARENT_SCOPE)
    set(${out_length} ${length} PARENT_SCOPE)
endfunction()

function(_filespack_require_fit what length limit)
    if(length GREATER limit)
        message(FATAL_ERROR
            "${what} take ${length} bytes in Shift-JIS; at most ${limit} fit the program's text")
    endif()
endfunction()

# Quotes text for a resource script string.
function(_filespack_rc_string text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\"\"" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(filespack_add_product)
    cmake_parse_arguments(P "NO_PACKAGE"
        "TARGET;NAME;DESCRIPTION;VERSION;CAPTION;RESOURCE_NAME;FILES_DIR;PACKAGE_FILE;OUTPUT_NAME;MTIME;BLOCK_SIZE"
        "EXTRA_FILES;READ_ONLY_FILES" ${ARGN})
    if(NOT P_TARGET)
        message(FATAL_ERROR "filespack_add_product: TARGET is required")
    endif()
    if(P_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "filespack_add_product(${P_TARGET}): unknown ${P_UNPARSED_ARGUMENTS}")
    endif()
    # A plain name: a leading '#' and digits would make it an integer resource id.
    if(NOT P_RESOURCE_NAME MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        message(FATAL_ERROR
            "filespack_add_product(${P_TARGET}): RESOURCE_NAME \"${P_RESOURCE_NAME}\" must be "
            "letters, digits and underscores, not starting with a digit")
    endif()
    if(P_CAPTION STREQUAL "")
        set(P_CAPTION "Self Unpack")
    endif()

    foreach(slot NAME DESCRIPTION VERSION CAPTION RESOURCE_NAME)
        _filespack_shift_jis("${P_${slot}}" literal_${slot} length_${slot})
    endforeach()
    # The progress window's title "SelfUnpack - %s %s" and the confirmation's "%s %s" have
    # 256-byte buffers and the explanation 512. The abandon message "%s %s の解凍を中止します。"
    # and the save dialog's title "解凍先ディレクトリの選択[ %s %s ]" share the 256 bytes too,
    # which makes the name and version limit 226 rather than the title's 241.
    math(EXPR name_version "${length_NAME} + ${length_VERSION}")
    math(EXPR caption_version "${length_CAPTION} + ${length_VERSION}")
    _filespack_require_fit("NAME and VERSION together" ${name_version} 226)
    _filespack_require_fit("CAPTION and VERSION together" ${caption_version} 254)
    _filespack_require_fit("DESCRIPTION" ${length_DESCRIPTION} 317)

    set(gen ${CMAKE_CURRENT_BINARY_DIR}/${P_TARGET}-product)
    file(MAKE_DIRECTORY ${gen})

    # The product class: the five strings as Shift-JIS bytes.
    file(CONFIGURE OUTPUT ${gen}/product_app.h CONTENT [[
// Generated by filespack_add_product for @P_TARGET@; edit the CMake call, not this file.
#pragma once

#include "runner/unpack_app.h"

class ProductApp final : public UnpackApp {
public:
    const char* Name() const override { return @literal_NAME@; }
    const char* Description() const override { return @literal_DESCRIPTION@; }
    const char* Version() const override { return @literal_VERSION@; }
    const char* Caption() const override { return @literal_CAPTION@; }
    const char* PackageResourceName() const override { return @literal_RESOURCE_NAME@; }
};
]] @ONLY)

    # The package.
    set(package "")
    if(P_NO_PACKAGE)
    elseif(P_PACKAGE_FILE)
        get_filename_component(package ${P_PACKAGE_FILE} ABSOLUTE)
    else()
        _filespack_pack_files(${P_TARGET} ${gen} package)
    endif()

    # The product's own resources: the version record and the package.
    string(TOUPPER "${P_RESOURCE_NAME}" resource_name)
    if(P_OUTPUT_NAME)
        set(exe_name ${P_OUTPUT_NAME}.exe)
    else()
        set(exe_name ${P_TARGET}.exe)
    endif()
    set(numbers 1 0 0 0)
    if(P_VERSION MATCHES "([0-9]+)(\\.([0-9]+))?(\\.([0-9]+))?")
        math(EXPR second "${CMAKE_MATCH_3}0 / 10")
        math(EXPR third "${CMAKE_MATCH_5}0 / 10")
        set(numbers ${CMAKE_MATCH_1} ${second} ${third} 0)
    endif()
    foreach(n IN LISTS numbers)
        if(n GREATER 65535)
            set(numbers 1 0 0 0)
        endif()
    endforeach()
    list(JOIN numbers "," file_version)
    _filespack_rc_string("${P_NAME}" rc_name)
    _filespack_rc_string("${P_DESCRIPTION}" rc_description)
    _filespack_rc_string("${P_VERSION}" rc_version)
    _filespack_rc_string("${exe_name}" rc_exe)
    set(package_line "")
    if(package)
        _filespack_rc_string("${package}" rc_package)
        # Language neutral: FindResourceA finds it whatever the user's language.
        set(package_line "LANGUAGE 0, 0\n${resource_name} FILESPACK ${rc_package}\n")
    endif()
    file(CONFIGURE OUTPUT ${gen}/product.rc CONTENT [[
// Generated by filespack_add_product for @P_TARGET@.
#pragma code_page(65001)

@package_line@
LANGUAGE 0x11, 0x01

1 VERSIONINFO
FILEVERSION @file_version@
PRODUCTVERSION @file_version@
FILEFLAGSMASK 0x3F
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 1
FILESUBTYPE 0
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "041104B0"
        BEGIN
            VALUE "FileDescription", @rc_description@
            VALUE "FileVersion", @rc_version@
            VALUE "InternalName", @rc_name@
            VALUE "OriginalFilename", @rc_exe@
            VALUE "ProductName", @rc_name@
            VALUE "ProductVersion", @rc_version@
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x0411, 1200
    END
END
]] @ONLY)
    filespack_compile_resources(${gen}/product.rc.o ${gen}/product.rc DEPENDS ${package})

    set(win_main ${PROJECT_SOURCE_DIR}/runner/win_main.cpp)
    add_executable(${P_TARGET} WIN32 ${win_main} ${gen}/product.rc.o ${gen}/product_app.h)
    target_include_directories(${P_TARGET} PRIVATE ${gen})
    target_link_libraries(${P_TARGET} PRIVATE unpack_program program_resources)
    if(P_OUTPUT_NAME)
        set_target_properties(${P_TARGET} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
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
        file(GLOB inputs LIST_DIRECTORIES false CONFIGURE_DEPENDS ${files_dir}/*)
        list(APPEND depends ${inputs})
        foreach(input IN LISTS inputs)
            string(APPEND lines "file(COPY [==[${input}]==] DESTINATION [==[${stage}]==])\n")
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
        string(APPEND lines
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
    set(environment "")
    if(NOT "${P_MTIME}" STREQUAL "")
        set(environment SOURCE_DATE_EPOCH=${P_MTIME})
    endif()
    add_custom_command(
        OUTPUT ${package}
        COMMAND ${CMAKE_COMMAND} -P ${gen}/stage.cmake
        COMMAND ${CMAKE_COMMAND} -E env ${environment}
                ${host_exe} create ${package} ${stage} ${options}
        DEPENDS ${depends} ${gen}/stage.cmake ${host_depends} ${host_exe}
        COMMENT "Packing ${target}"
        VERBATIM)
    set(${out_package} ${package} PARENT_SCOPE)
endfunction()
