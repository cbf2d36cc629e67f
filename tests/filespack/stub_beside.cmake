# The Windows filespack, copied with the generic program into a folder of their own, finds the
# program beside itself when no --stub is given, and stamps a product that `test` passes.
# cmake -DRUN=<emulator> -DFILESPACK=<filespack.exe> -DSTUB=<program> -DWORK=<folder> -P ...
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/in)
file(COPY_FILE ${FILESPACK} ${WORK}/filespack.exe)
file(COPY_FILE ${STUB} ${WORK}/filespack-stub.exe)
file(WRITE ${WORK}/in/Setup.exe "a stand-in")

function(filespack)
    execute_process(COMMAND ${RUN} ${WORK}/filespack.exe ${ARGN}
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL 0)
        message(FATAL_ERROR "filespack ${ARGN}: exit code ${code}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# A Windows path: the Windows build takes "/..." for an option, as Windows programs do.
set(at Z:${WORK})
filespack(exe ${at}/p.exe ${at}/in --name N --description D --product-version 1 --caption C)
string(REGEX MATCH "stub-beside.filespack-stub\\.exe" beside "${out}")
if(NOT beside)
    message(FATAL_ERROR "the program stamped is not the one beside filespack.exe: ${out}")
endif()
filespack(test ${at}/p.exe)
