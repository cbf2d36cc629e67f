// Chooses and writes the entropy stage's code for one stream of bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/code_lengths.h"

// A code in the decoder's terms: groups of equal-length codes in ascending length order, and a
// group index per byte value (`groups` or more for a value with no code).
struct EntropyPlan {
    int32_t groups = 0;
    std::array<uint8_t, 256> group_length{};
    std::array<uint16_t, 256> byte_group{};
    uint64_t bits = 0;  // description and codes, without the declared length

    // The whole body: declared length, then the bits padded to a byte.
    size_t BodySize() const { return 4 + static_cast<size_t>((bits + 7) / 8); }
};

ByteCounts CountBytes(const uint8_t* data, size_t size);

// One group of length 8: every code is the byte value itself.
EntropyPlan IdentityPlan(const ByteCounts& counts);

// The cheapest code for data with these counts, description included: the identity code
// (one group of length 8), an optimal code over the bytes that occur, or one over all 256.
EntropyPlan PlanEntropyCode(const ByteCounts& counts);

// Declared length, description and codes of `data` under `plan`, which must give every byte of
// data a code.
std::vector<uint8_t> WriteEntropyBody(const EntropyPlan& plan, const uint8_t* data, size_t size);
