// Sizes as people write them on a command line: 200000, 200k, 4M, 64Ki, 1Mi.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reads `text` into `value`, which must lie in [low, high]. "" on success, else what was wrong,
// in words that name the forms that are accepted.
std::string ParseSize(std::string_view text, int64_t low, int64_t high, int64_t& value);

// 200000 -> "200k", 65536 -> "64Ki", 1000 -> "1k", 1023 -> "1023": the shortest exact form.
std::string FormatSize(int64_t value);
