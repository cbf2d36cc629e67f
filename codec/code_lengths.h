// Optimal prefix-code lengths under a length limit (package-merge).
#pragma once

#include <array>
#include <cstdint>

using ByteCounts = std::array<uint64_t, 256>;
using CodeLengths = std::array<uint8_t, 256>;

// Lengths for the byte values with `in_code` set, each at most `max_length` (2^max_length must
// be at least their number), minimising the weighted total; other values get 0. A lone value
// gets length 0. Two values or more always form a complete code. Ties resolve by byte value,
// so equal input gives equal lengths.
CodeLengths LimitedCodeLengths(const ByteCounts& weights, const std::array<bool, 256>& in_code,
                               int max_length);
