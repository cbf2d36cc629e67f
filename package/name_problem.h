// Why a name cannot be an entry's name: a fault the rules find, and its plain-English reason.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum class NameFault : uint8_t {
    none,
    empty,
    too_long,               // detail: the name's length in Shift-JIS bytes
    not_shift_jis,          // detail: the one or two bytes that are no code page 932 character
    not_utf8,               // detail: the byte that starts no UTF-8 character
    no_shift_jis_form,      // detail: the character that code page 932 cannot spell
    only_dots,              // the folder itself or its parent
    control_character,      // detail: the character
    separator,              // detail: '\' or '/'
    reserved_character,     // detail: one of : * ? " < > |
    broken_character,       // detail: the lead byte that has no valid second byte
    trailing_dot_or_space,  // detail: the character, which Windows drops
    device_name,            // detail: the index in DEVICE_NAMES
    empty_part,             // a backslash at either end, or two in a row
    too_deep,               // detail: the number of parts
};

struct NameProblem {
    NameFault fault = NameFault::none;
    uint32_t detail = 0;

    explicit operator bool() const { return fault != NameFault::none; }
};

// Names Windows keeps for devices, whatever extension follows them.
inline constexpr std::array<std::string_view, 24> DEVICE_NAMES = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2",
    "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9", "LPT1",
    "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",   "LPT7",    "LPT8", "LPT9"};

// The reason in plain English, written to follow the file's name and a colon: it never holds a
// control character, whatever the name does.
std::string DescribeNameProblem(const NameProblem& problem);
