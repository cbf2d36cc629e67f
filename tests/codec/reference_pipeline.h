// The chunk pipeline built from the frozen original stages, for the differential checks.
#pragma once

#include <cstdint>

#include "tests/codec/reference_entropy_decode.h"
#include "tests/codec/reference_run_length_decode.h"

inline int32_t ReferencePipeline(uint8_t* buffer, int32_t length, int32_t capacity) {
    const int32_t produced = ReferenceEntropyDecode(buffer, length, capacity);
    if (produced <= 0) return produced;
    return ReferenceRunLengthDecode(buffer, produced, capacity);
}
