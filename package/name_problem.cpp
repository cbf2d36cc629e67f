#include "package/name_problem.h"

#include <cstdio>

#include "package/utf8_text.h"

namespace {

std::string CodePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

std::string Byte(uint32_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

// Characters that would act on the terminal or the rest of the line (controls, and the marks
// that reorder or hide text) are given by number only.
bool ShowsAsItself(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E)) return false;
    if ((c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB)) return false;
    return !(c >= 0xE0000 && c <= 0xE007F);
}

// "*", or "¥" (U+00A5), or U+001B.
std::string Character(char32_t c) {
    if (!ShowsAsItself(c)) return CodePoint(c);
    std::string out = "\"";
    AppendUtf8(out, c);
    out += '"';
    if (c >= 0x80) out += " (" + CodePoint(c) + ")";
    return out;
}

std::string Bytes(uint32_t bytes) {
    if (bytes > 0xFF) return "bytes " + Byte(bytes >> 8) + " " + Byte(bytes) + " are";
    return "byte " + Byte(bytes) + " is";
}

}  // namespace

std::string DescribeNameProblem(const NameProblem& problem) {
    const uint32_t detail = problem.detail;
    switch (problem.fault) {
        case NameFault::none:
            return "";
        case NameFault::empty:
            return "the name is empty";
        case NameFault::too_long:
            return "the name is " + std::to_string(detail) +
                   " bytes in Shift-JIS; a package allows at most 255";
        case NameFault::not_shift_jis:
            if (detail == 0) return "the name is not Shift-JIS text (code page 932)";
            return "the name's " + Bytes(detail) +
                   " no Shift-JIS character (code page 932), or not the code it writes that "
                   "character with, so no engine creates the file";
        case NameFault::not_utf8:
            return "the name's byte " + Byte(detail) +
                   " is not UTF-8 text, so the name has no Shift-JIS form (code page 932)";
        case NameFault::no_shift_jis_form:
            if (detail == 0) return "the name has no Shift-JIS form (code page 932)";
            return "the character " + Character(detail) +
                   " has no Shift-JIS form (code page 932), so Windows could not create the "
                   "file from a package";
        case NameFault::only_dots:
            return "a name of only dots and spaces means the folder itself or its parent";
        case NameFault::control_character:
            return "the name holds the control character " + CodePoint(detail) +
                   ", which no file name may hold";
        case NameFault::separator:
            if (detail == '\\') {
                return "the name holds \"\\\" inside a file or folder name, where it would "
                       "separate folders";
            }
            return "the name holds " + Character(detail) +
                   ", which separates folders; a package separates them with \"\\\"";
        case NameFault::reserved_character:
            return "the name holds " + Character(detail) +
                   ", which Windows does not allow in file names";
        case NameFault::broken_character:
            return "the name's byte " + Byte(detail) +
                   " opens a double-byte character that does not follow";
        case NameFault::trailing_dot_or_space:
            return std::string("the name ends in ") + (detail == '.' ? "a dot" : "a space") +
                   ", which Windows drops, so the file would get another name";
        case NameFault::device_name:
            if (detail >= DEVICE_NAMES.size()) return "the name is a Windows device name";
            return "the name opens the Windows device " + std::string(DEVICE_NAMES[detail]) +
                   " instead of a file (an extension, or dots and spaces before it, change "
                   "nothing)";
        case NameFault::empty_part:
            return "the name starts or ends with \"\\\", or holds two in a row: a folder "
                   "without a name";
        case NameFault::too_deep:
            return "the name is " + std::to_string(detail) +
                   " folders and file deep; a package allows at most 16";
    }
    return "";
}
