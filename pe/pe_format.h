// Facts of the PE format that more than one part of the library reads or writes.
#pragma once

#include <cstdint>

inline constexpr uint16_t kPe32Magic = 0x10b;      // the optional header of a 32-bit image
inline constexpr uint16_t kPe32PlusMagic = 0x20b;  // and of a 64-bit one
inline constexpr uint32_t kResourceDirectory = 2;  // index among the data directories
inline constexpr uint64_t kSectionHeaderSize = 40;
// In a resource directory entry: the name is a string, or the entry leads to a directory.
inline constexpr uint32_t kHighBit = 0x80000000u;
