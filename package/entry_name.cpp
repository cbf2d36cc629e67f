#include "package/entry_name.h"

#include <cstddef>

#include "package/ascii_case.h"

bool IsShiftJisLeadByte(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool HasNoLeadBytes(uint8_t) {
    return false;
}

namespace {

// Windows drops trailing dots and spaces from a name, so "CON .txt" and "NUL." still open the
// device: compare the part before the first dot with those removed.
NameProblem DeviceNameProblem(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.remove_suffix(1);
    for (size_t i = 0; i < DEVICE_NAMES.size(); ++i) {
        if (EqualsIgnoringAsciiCase(base, DEVICE_NAMES[i])) {
            return {NameFault::device_name, static_cast<uint32_t>(i)};
        }
    }
    return {};
}

// Names made only of dots (and spaces, which Windows strips) resolve to the folder itself or
// to its parent.
bool IsOnlyDots(std::string_view name) {
    for (char c : name) {
        if (c != '.' && c != ' ') return false;
    }
    return true;
}

}  // namespace

NameProblem EntryNameProblem(std::string_view name, LeadBytePredicate is_lead_byte) {
    if (name.empty()) return {NameFault::empty, 0};
    if (IsOnlyDots(name)) return {NameFault::only_dots, 0};
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<uint8_t>(name[i]);
        if (is_lead_byte(byte)) {
            // The trail byte may be 0x5C ('\') and is then part of the character, but a lead
            // byte without a valid trail byte leaves the reading to the system's guesswork.
            if (i + 1 >= name.size()) return {NameFault::broken_character, byte};
            const auto trail = static_cast<uint8_t>(name[i + 1]);
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC) {
                return {NameFault::broken_character, byte};
            }
            ++i;
            continue;
        }
        if (byte < 0x20 || byte == 0x7F) return {NameFault::control_character, byte};
        if (byte == '\\' || byte == '/') return {NameFault::separator, byte};
        if (byte == ':') return {NameFault::reserved_character, byte};
    }
    return DeviceNameProblem(name);
}

bool IsSafeEntryName(std::string_view name, LeadBytePredicate is_lead_byte) {
    return !EntryNameProblem(name, is_lead_byte);
}

size_t EntryPartEnd(std::string_view name, size_t from, LeadBytePredicate is_lead_byte) {
    for (size_t i = from; i < name.size(); ++i) {
        if (is_lead_byte(static_cast<uint8_t>(name[i]))) {
            ++i;
        } else if (name[i] == '\\') {
            return i;
        }
    }
    return name.size();
}

NameProblem EntryTreeProblem(std::string_view name, LeadBytePredicate is_lead_byte) {
    if (name.empty()) return {NameFault::empty, 0};
    size_t parts = 0;
    for (size_t from = 0;; ++parts) {
        const size_t end = EntryPartEnd(name, from, is_lead_byte);
        if (end == from) return {NameFault::empty_part, 0};
        if (const NameProblem problem = EntryNameProblem(name.substr(from, end - from), is_lead_byte)) {
            return problem;
        }
        if (end == name.size()) break;
        from = end + 1;
        // A trailing backslash leaves an empty last part, found above on the next round.
    }
    if (parts + 1 > MAX_NAME_PARTS) {
        return {NameFault::too_deep, static_cast<uint32_t>(parts + 1)};
    }
    return {};
}
