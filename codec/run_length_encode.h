// Run-length stream (mode 1) for the chunk decoder's second stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Mode byte 1, the escape byte, then literals, escaped escapes and runs of 1- to 8-byte patterns
// chosen greedily by bytes saved. The escape byte is the least frequent byte value, lowest value
// first among equals. Linear in `size`.
std::vector<uint8_t> RunLengthEncode(const uint8_t* data, size_t size);
