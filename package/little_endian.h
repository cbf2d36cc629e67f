// The package's integers: little-endian, read from bytes whatever the processor's own order.
#pragma once

#include <cstdint>

inline uint32_t LoadU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline int32_t LoadI32(const uint8_t* bytes) {
    return static_cast<int32_t>(LoadU32(bytes));
}

inline uint64_t LoadU64(const uint8_t* bytes) {
    return static_cast<uint64_t>(LoadU32(bytes)) | static_cast<uint64_t>(LoadU32(bytes + 4)) << 32;
}
