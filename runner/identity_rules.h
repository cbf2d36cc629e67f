// What a product's five identity strings must satisfy to fit the program's fixed text buffers.
// Shared by the program, which reads stamped strings it cannot trust, and by the tools that
// stamp them, so that both hold the same line.
#pragma once

#include <cstddef>
#include <string_view>

// The progress window's title "SelfUnpack - %s %s", the confirmation title "%s %s" and the
// abandon and save-dialog texts share 256-byte buffers; the explanation has 512.
inline constexpr size_t kMaxNameAndVersion = 226;
inline constexpr size_t kMaxCaptionAndVersion = 254;
inline constexpr size_t kMaxDescription = 317;
// A resource name has no buffer limit of its own; this keeps it an ordinary identifier.
inline constexpr size_t kMaxResourceName = 64;

// The five strings as Shift-JIS bytes, without terminating NULs.
struct IdentityText {
    std::string_view name;
    std::string_view description;
    std::string_view version;
    std::string_view caption;
    std::string_view resource_name;
};

enum class IdentityProblem {
    NONE,
    NAME_AND_VERSION_TOO_LONG,
    CAPTION_AND_VERSION_TOO_LONG,
    DESCRIPTION_TOO_LONG,
    BAD_RESOURCE_NAME,  // not letters, digits and underscores starting with a non-digit
    BAD_SHIFT_JIS,      // a NUL, or a lead byte without its trail byte
};

IdentityProblem CheckIdentity(const IdentityText& text);

// Whether `text` is whole Shift-JIS characters with no NUL among them.
bool IsWholeShiftJis(std::string_view text);
