#include "codec/chunk_decoder.h"

#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"

int32_t ChunkDecoder::Decode(uint8_t* buffer, int32_t length, int32_t capacity) {
    const int32_t produced = EntropyDecode(buffer, length, capacity);
    if (produced <= 0) return produced;
    return RunLengthDecode(buffer, produced, capacity);
}
