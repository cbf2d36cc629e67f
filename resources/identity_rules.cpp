#include "resources/identity_rules.h"

#include "package/entry_name.h"

namespace {

bool IsTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool IsResourceName(std::string_view name) {
    if (name.empty() || name.size() > kMaxResourceName) return false;
    if (name[0] >= '0' && name[0] <= '9') return false;
    for (char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '_') return false;
    }
    return true;
}

}  // namespace

bool IsWholeShiftJis(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0) return false;
        if (!IsShiftJisLeadByte(byte)) continue;
        if (i + 1 >= text.size() || !IsTrailByte(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        ++i;
    }
    return true;
}

IdentityProblem CheckIdentity(const IdentityText& text) {
    if (!IsWholeShiftJis(text.name) || !IsWholeShiftJis(text.description) ||
        !IsWholeShiftJis(text.version) || !IsWholeShiftJis(text.caption)) {
        return IdentityProblem::BAD_SHIFT_JIS;
    }
    if (!IsResourceName(text.resource_name)) return IdentityProblem::BAD_RESOURCE_NAME;
    if (text.name.size() + text.version.size() > kMaxNameAndVersion) {
        return IdentityProblem::NAME_AND_VERSION_TOO_LONG;
    }
    if (text.caption.size() + text.version.size() > kMaxCaptionAndVersion) {
        return IdentityProblem::CAPTION_AND_VERSION_TOO_LONG;
    }
    if (text.description.size() > kMaxDescription) return IdentityProblem::DESCRIPTION_TOO_LONG;
    return IdentityProblem::NONE;
}
