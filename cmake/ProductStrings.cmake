# Checks of a product's five identity strings, usable from a build and from `cmake -P`.
include_guard(GLOBAL)

# The Shift-JIS bytes of `text` as a C string literal of \x escapes (independent of the
# compiler's character sets) and their count. Fails for text with no Shift-JIS form.
function(_filespack_shift_jis text out_literal out_length)
    set(scratch ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/filespack_sjis)
    file(WRITE ${scratch}.utf8 "${text}")
    # iconv -o leaves an existing output file alone when the input is empty: let
    # execute_process create the output afresh every time.
    file(REMOVE ${scratch}.sjis)
    execute_process(
        COMMAND iconv -f UTF-8 -t CP932 ${scratch}.utf8
        OUTPUT_FILE ${scratch}.sjis
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

# Fails the configuration when a string cannot be the program's; otherwise sets
# <prefix>_NAME ... <prefix>_RESOURCE_NAME to the strings as C literals of Shift-JIS bytes.
function(filespack_check_product_strings prefix name description version caption resource)
    # A plain name: a leading '#' and digits would make it an integer resource id.
    if(NOT resource MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        message(FATAL_ERROR "RESOURCE_NAME \"${resource}\" must be letters, digits and "
                            "underscores, not starting with a digit")
    endif()
    _filespack_shift_jis("${name}" literal_name length_name)
    _filespack_shift_jis("${description}" literal_description length_description)
    _filespack_shift_jis("${version}" literal_version length_version)
    _filespack_shift_jis("${caption}" literal_caption length_caption)
    _filespack_shift_jis("${resource}" literal_resource length_resource)
    # The limits are the program's, read from the one place that states them.
    file(STRINGS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../resources/identity_rules.h limits
         REGEX "kMax[A-Za-z]+ = [0-9]+;")
    foreach(line ${limits})
        string(REGEX MATCH "(kMax[A-Za-z]+) = ([0-9]+)" ignored "${line}")
        set(${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    endforeach()
    math(EXPR name_version "${length_name} + ${length_version}")
    math(EXPR caption_version "${length_caption} + ${length_version}")
    _filespack_require_fit("NAME and VERSION together" ${name_version} ${kMaxNameAndVersion})
    _filespack_require_fit("CAPTION and VERSION together" ${caption_version}
                           ${kMaxCaptionAndVersion})
    _filespack_require_fit("DESCRIPTION" ${length_description} ${kMaxDescription})
    set(${prefix}_NAME "${literal_name}" PARENT_SCOPE)
    set(${prefix}_DESCRIPTION "${literal_description}" PARENT_SCOPE)
    set(${prefix}_VERSION "${literal_version}" PARENT_SCOPE)
    set(${prefix}_CAPTION "${literal_caption}" PARENT_SCOPE)
    set(${prefix}_RESOURCE_NAME "${literal_resource}" PARENT_SCOPE)
endfunction()
