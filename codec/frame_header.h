// The header of a zstd frame as the run-length stage's frame and stream modes accept it, read by
// our own code: the library reads other frames too (skippable ones, legacy formats by build), so
// this, and not the library, decides what a package may hold, and every build agrees.
#pragma once

#include <cstddef>
#include <cstdint>

// A frame's fields are little-endian, of any width up to eight bytes.
inline uint64_t FrameLittleEndian(const uint8_t* at, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

struct FrameHeader {
    size_t size = 0;       // bytes of the header
    uint64_t content = 0;  // the content size it declares
    uint64_t window = 0;   // the history a decoder keeps (a single segment's is its content)
};

// False unless `in` starts with a whole header with the current magic, a declared content size,
// no dictionary id and no checksum (the package's integrity record covers the data). The sizes
// are left for each mode to judge.
bool ReadFrameHeader(const uint8_t* in, size_t length, FrameHeader& header);
