# Fails when the link map MAP shows an object of the zstd encoder, or no object of its decoder
# (then the map is not the program's).
file(READ ${MAP} map)
if(NOT map MATCHES "zstd_decompress")
    message(FATAL_ERROR "${MAP}: no zstd decoder in the map; is it the program's?")
endif()
foreach(encoder zstd_compress zstd_opt zstd_lazy zstd_ldm huf_compress fse_compress chunk_encoder stream_encode frame_encode)
    if(map MATCHES "${encoder}")
        message(FATAL_ERROR "${MAP}: the program links ${encoder}")
    endif()
endforeach()
message(STATUS "${MAP}: the zstd decoder alone")
