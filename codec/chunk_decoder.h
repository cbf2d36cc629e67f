// The chunk pipeline: entropy stage, then run-length stage, in place in the caller's buffer.
#pragma once

#include <cstdint>

class ChunkDecoder {
  public:
    virtual ~ChunkDecoder() = default;

    // Decodes the `length`-byte chunk body at the start of `buffer` into at most `capacity`
    // bytes at the same place. The buffer must hold at least max(length, capacity) + 1 bytes
    // (the run-length stage writes one sentinel byte just past its input).
    // Returns the decoded length (> 0), or a value <= 0 for a failed chunk.
    int32_t Decode(uint8_t* buffer, int32_t length, int32_t capacity);
};
