// Encodes one piece of a file into the smallest chunk body the decoder accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ChunkEncoder {
  public:
    // `piece` holds 1 to `block_size` bytes. Returns the chunk body, never longer than the
    // stored form of size + 7 bytes, or nothing for an empty piece or one over a block (the
    // decoder fails an empty chunk). Deterministic: equal input, equal output.
    std::vector<uint8_t> Encode(const uint8_t* piece, size_t size, int32_t block_size) const;

    // The length of the body Encode would return, found without writing it: for weighing one
    // way of cutting a file against another.
    size_t EncodedSize(const uint8_t* piece, size_t size, int32_t block_size) const;
};
