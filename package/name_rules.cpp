#include "package/name_rules.h"

#include <string>

#include "package/entry_name.h"
#include "package/name_encoding.h"
#include "package/utf8_text.h"

namespace {

// Found character by character only once the whole name has failed, to say what failed.
NameProblem FirstByteNotShiftJis(std::string_view shift_jis) {
    std::string ignored;
    for (size_t at = 0; at < shift_jis.size();) {
        const size_t length =
            IsShiftJisLeadByte(static_cast<uint8_t>(shift_jis[at])) && at + 1 < shift_jis.size()
                ? 2
                : 1;
        const std::string_view piece = shift_jis.substr(at, length);
        if (!ShiftJisToUtf8(piece, ignored)) {
            uint32_t bytes = 0;
            for (char c : piece) bytes = (bytes << 8) | static_cast<uint8_t>(c);
            return {NameFault::not_shift_jis, bytes};
        }
        at += length;
    }
    return {NameFault::not_shift_jis, 0};
}

NameProblem FirstCharacterWithoutShiftJis(std::string_view utf8) {
    std::string ignored;
    for (size_t at = 0; at < utf8.size();) {
        const size_t start = at;
        const char32_t c = NextUtf8(utf8, at);
        if (c == NOT_UTF8) return {NameFault::not_utf8, static_cast<uint8_t>(utf8[start])};
        if (!Utf8ToShiftJis(utf8.substr(start, at - start), ignored)) {
            return {NameFault::no_shift_jis_form, c};
        }
    }
    return {NameFault::no_shift_jis_form, 0};
}

// What Windows refuses beyond the engine's rules, in the name's characters (a Shift-JIS trail
// byte 0x7C is no '|').
NameProblem WindowsOnlyProblem(std::string_view utf8) {
    for (size_t at = 0; at < utf8.size();) {
        const char32_t c = NextUtf8(utf8, at);
        // U+0080 to U+009F: control characters too, which code page 932 spells on Windows.
        if (c >= 0x80 && c <= 0x9F) return {NameFault::control_character, c};
        if (std::u32string_view(U"*?\"<>|").find(c) != std::u32string_view::npos) {
            return {NameFault::reserved_character, c};
        }
    }
    // Windows drops them, so the file would get another name, perhaps one already taken.
    const char last = utf8.back();
    if (last == '.' || last == ' ') {
        return {NameFault::trailing_dot_or_space, static_cast<uint32_t>(last)};
    }
    return {};
}

}  // namespace

NameProblem StoredNameProblem(std::string_view shift_jis, NameLevel level) {
    if (shift_jis.empty()) return {NameFault::empty, 0};
    if (shift_jis.size() > MAX_NAME_BYTES) {
        return {NameFault::too_long, static_cast<uint32_t>(shift_jis.size())};
    }
    std::string utf8;
    if (!ShiftJisToUtf8(shift_jis, utf8)) return FirstByteNotShiftJis(shift_jis);
    if (const NameProblem read_on_windows = EntryTreeProblem(shift_jis, IsShiftJisLeadByte)) {
        return read_on_windows;
    }
    // Decoded, a 0x5C second byte is no longer a backslash: the parts are the same.
    if (const NameProblem read_elsewhere = EntryTreeProblem(utf8, HasNoLeadBytes)) {
        return read_elsewhere;
    }
    if (level == NameLevel::engine) return {};
    for (size_t from = 0; from <= utf8.size();) {
        const size_t end = EntryPartEnd(utf8, from, HasNoLeadBytes);
        if (const NameProblem problem = WindowsOnlyProblem(utf8.substr(from, end - from))) {
            return problem;
        }
        from = end + 1;
    }
    return {};
}

NameProblem Utf8NameProblem(std::string_view utf8, NameLevel level) {
    if (utf8.empty()) return {NameFault::empty, 0};
    // One name from a file system: a backslash in it is a character, never a folder.
    if (utf8.find('\\') != std::string_view::npos) return {NameFault::separator, '\\'};
    std::string shift_jis;
    if (!Utf8ToShiftJis(utf8, shift_jis)) return FirstCharacterWithoutShiftJis(utf8);
    return StoredNameProblem(shift_jis, level);
}
