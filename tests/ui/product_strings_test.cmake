# The build's checks of a product's identity strings: run with
#   cmake -DPROJECT_SOURCE_DIR=<source> -P product_strings_test.cmake
# Each case runs the check in a child process, since a rejection ends the process.
cmake_minimum_required(VERSION 3.25)

include(${PROJECT_SOURCE_DIR}/cmake/ProductStrings.cmake)

if(DEFINED ONE)
    filespack_check_product_strings(out "${N}" "${D}" "${V}" "${C}" "${R}")
    message(STATUS "description=${out_DESCRIPTION}")
    message(STATUS "version=${out_VERSION}")
    return()
endif()

set(failures 0)
function(expect verdict label name description version caption resource)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DONE=1 -DPROJECT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
                "-DN=${name}" "-DD=${description}" "-DV=${version}" "-DC=${caption}"
                "-DR=${resource}" -P ${CMAKE_CURRENT_LIST_FILE}
        RESULT_VARIABLE failed
        OUTPUT_VARIABLE output
        ERROR_VARIABLE errors)
    if(verdict STREQUAL "accept" AND failed)
        message(SEND_ERROR "${label}: rejected\n${errors}")
    elseif(verdict STREQUAL "reject" AND NOT failed)
        message(SEND_ERROR "${label}: accepted")
    endif()
    set(last_output "${output}" PARENT_SCOPE)
endfunction()

set(ok_d "インターネット電話 Quolta")
expect(accept "the sample product" Quolta "${ok_d}" "Ver 1.71" "SelfUnpack - Quolta" QUOLTA)
# イ is 0x83 0x43: the literal carries the Shift-JIS bytes, not UTF-8.
if(NOT last_output MATCHES [[description="\\x83\\x43\\x83\\x93]])
    message(SEND_ERROR "sample description not in Shift-JIS: ${last_output}")
endif()
expect(accept "default identity" "Quolta" "" "" "Self Unpack" APPLIRES)
# An empty string after a longer one must not inherit the longer one's bytes.
if(NOT last_output MATCHES "version=\"\"\n")
    message(SEND_ERROR "empty version not empty: ${last_output}")
endif()

# Name and version share the 256-byte texts of the progress title, the abandon message and the
# save dialog title; the last has the most fixed text and leaves 226 bytes.
string(REPEAT "あ" 113 name_226)
expect(accept "name 226 bytes" "${name_226}" "" "" "C" R)
expect(reject "name 226 + version 1" "${name_226}" "" "x" "C" R)
string(REPEAT "n" 200 name_200)
expect(accept "name 200 + version 26" "${name_200}" "" "Version 1.71 build 2345678" "C" R)
expect(reject "name 200 + version 27" "${name_200}" "" "Version 1.71 build 23456789" "C" R)

string(REPEAT "c" 250 caption_250)
expect(accept "caption 250 + version 4" "Q" "" "Ver " "${caption_250}" R)
expect(reject "caption 250 + version 5" "Q" "" "Ver 1" "${caption_250}" R)

string(REPEAT "表" 158 description_316)
expect(accept "description 317 bytes" "Q" "${description_316}x" "" "C" R)
expect(reject "description 318 bytes" "Q" "${description_316}表" "" "C" R)
# Half-width katakana take one byte each.
string(REPEAT "ｱ" 317 katakana_317)
expect(accept "317 half-width katakana" "Q" "${katakana_317}" "" "C" R)

expect(reject "no Shift-JIS form" "Q" "電話 😀" "" "C" R)
expect(reject "numeric resource name" "Q" "" "" "C" 1QUOLTA)
expect(reject "empty resource name" "Q" "" "" "C" "")
expect(accept "resource name with digits" "Q" "" "" "C" QUOLTA_2)
