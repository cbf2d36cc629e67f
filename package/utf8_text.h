// Walking and writing UTF-8 one character at a time, for judging and showing names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What NextUtf8 gives for a byte that starts no well-formed character.
inline constexpr char32_t NOT_UTF8 = 0xFFFFFFFF;

// The character at `at`, moving `at` past it; NOT_UTF8 (moving past one byte) for a byte that
// starts no well-formed character: overlong forms and surrogates count as broken, so that no
// character has two spellings.
inline char32_t NextUtf8(std::string_view text, size_t& at) {
    const auto lead = static_cast<uint8_t>(text[at++]);
    if (lead < 0x80) return lead;
    // Continuation bytes, the lead byte's payload bits, and the least value that needs them.
    size_t count = 3;
    char32_t c = lead & 0x07u;
    char32_t least = 0x10000;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1;
        c = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2;
        c = lead & 0x0Fu;
        least = 0x800;
    } else if (lead < 0xF0 || lead > 0xF4) {
        return NOT_UTF8;
    }
    if (at + count > text.size()) return NOT_UTF8;
    for (size_t i = 0; i < count; ++i) {
        const auto next = static_cast<uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80) return NOT_UTF8;
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return NOT_UTF8;
    at += count;
    return c;
}

inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
