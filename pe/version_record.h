// The version record Windows shows in a file's properties (resource type 16): numeric file and
// product versions and the texts of one Japanese, Unicode string table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct VersionRecord {
    std::array<uint16_t, 4> file_version{1, 0, 0, 0};
    std::array<uint16_t, 4> product_version{1, 0, 0, 0};
    std::vector<std::pair<std::string, std::string>> strings;  // key, value; UTF-8
};

// "1.7.1.0", "1.7" and the like: up to four numbers of 0 to 65535, missing ones 0.
std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(std::string_view text);

// The numbers in a product's free-form version: its first numbers joined by dots, up to three
// ("Ver 1.71" gives 1.71.0.0), or 1.0.0.0 when it holds none that fit.
std::array<uint16_t, 4> VersionNumbersIn(std::string_view text);

// VS_VERSIONINFO bytes; false when a text has no UTF-16 form (not valid UTF-8).
bool BuildVersionRecord(const VersionRecord& record, std::vector<uint8_t>& out);
