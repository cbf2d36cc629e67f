// Case in ASCII letters only, as Windows compares device names, resource names and command-line
// switches: no locale, and no byte above 0x7F is ever touched (a Shift-JIS trail byte may look
// like a letter).
#pragma once

#include <string>
#include <string_view>

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

inline std::string AsciiUppercase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}
