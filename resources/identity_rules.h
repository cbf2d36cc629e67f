// What a product's five identity strings must satisfy to fit the program's fixed text buffers.
// Shared by the program, which reads stamped strings it cannot trust, and by the tools that
// stamp them, so that both hold the same line.
#pragma once

#include <cstddef>
#include <string_view>

// The program's text buffers that a product's strings are formatted into: the progress window's
// title "SelfUnpack - %s %s", the confirmation's title "%s %s", the abandon message and the save
// dialog's title take kTitleBufferSize bytes; the confirmation's explanation kTextBufferSize.
inline constexpr size_t kTitleBufferSize = 256;
inline constexpr size_t kTextBufferSize = 512;

// The limits follow from the longest format around each pair (cmake/ProductStrings.cmake reads
// these three lines). The save dialog's title is the longest around name and version, and the
// explanation's fixed text leaves 317 bytes for the description.
inline constexpr size_t kMaxNameAndVersion = 226;
inline constexpr size_t kMaxCaptionAndVersion = 254;
inline constexpr size_t kMaxDescription = 317;

// What `format` writes around its `conversions` "%s" (each two bytes in the format), NUL
// included: with arguments of `arguments` bytes it needs this many more.
template <size_t N>
constexpr size_t FormatOverhead(const char (&)[N], size_t conversions) {
    return N - 2 * conversions;
}

// Whether `format` with arguments of at most `arguments` bytes fits `buffer` bytes.
template <size_t N>
constexpr bool FitsBuffer(const char (&format)[N], size_t conversions, size_t arguments,
                          size_t buffer) {
    return FormatOverhead(format, conversions) + arguments <= buffer;
}
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
