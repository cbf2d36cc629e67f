# Checks a built product executable without running it:
#   cmake -DEXE=<exe> -DOBJDUMP=<objdump> -DFORMAT=pei-i386|pei-x86-64 -P check_product_exe.cmake
# the PE format and GUI subsystem, load-time imports of system DLLs only, the program's
# Shift-JIS strings and the product's identity and package in the file.
cmake_minimum_required(VERSION 3.25)

# The tests run under the Japanese locale Wine needs; objdump would then answer in Japanese.
set(ENV{LC_ALL} C)
set(ENV{LANGUAGE} C)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump cannot read ${EXE}")
endif()
if(NOT headers MATCHES "file format ${FORMAT}")
    message(SEND_ERROR "${EXE} is not ${FORMAT}")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
    message(SEND_ERROR "${EXE} is not a GUI program")
endif()

# Load-time imports: only DLLs that Windows always takes from its system folder.
set(system_dlls advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
    shell32.dll user32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
    message(SEND_ERROR "no imports found in ${EXE}")
endif()
foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls)
        message(SEND_ERROR "${EXE} imports ${dll} at load time")
    endif()
endforeach()

file(READ ${EXE} image HEX)

# `text` must occur in the file as the bytes of `encoding` (CP932 or UTF-16LE).
function(expect_bytes text encoding)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/check_text.utf8 "${text}")
    execute_process(
        COMMAND iconv -f UTF-8 -t ${encoding} ${CMAKE_CURRENT_BINARY_DIR}/check_text.utf8
        OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/check_text.bin)
    file(READ ${CMAKE_CURRENT_BINARY_DIR}/check_text.bin wanted HEX)
    set(from 0)
    string(LENGTH "${image}" length)
    # A match must start on a byte, not in the middle of one.
    while(from LESS length)
        string(SUBSTRING "${image}" ${from} -1 rest)
        string(FIND "${rest}" "${wanted}" at)
        if(at EQUAL -1)
            break()
        endif()
        math(EXPR odd "${at} % 2")
        if(NOT odd)
            return()
        endif()
        math(EXPR from "${from} + ${at} + 1")
    endwhile()
    message(SEND_ERROR "\"${text}\" is not in ${EXE} as ${encoding}")
endfunction()

# The program's own texts, compiled as Shift-JIS.
expect_bytes("解凍できません！" CP932)
expect_bytes("しばらくお待ちください。" CP932)
expect_bytes(" をインストールします。\r\n\r\nパッケージの解凍のみを行う場合は、" CP932)
expect_bytes("作成できませんん。" CP932)
# The product's identity strings.
expect_bytes("インターネット電話 Quolta" CP932)
expect_bytes("SelfUnpack - Quolta" CP932)
# Resources are UTF-16: a dialog text, the version record and the package's type name.
expect_bytes("ＭＳ Ｐゴシック" UTF-16LE)
expect_bytes("準備中．．．" UTF-16LE)
expect_bytes("ProductName" UTF-16LE)
expect_bytes("(c) 2010 Quolta Project" UTF-16LE)
expect_bytes("FILESPACK" UTF-16LE)
expect_bytes("QUOLTA" UTF-16LE)
expect_bytes("FILE_PACKER 1.00/***" CP932)
