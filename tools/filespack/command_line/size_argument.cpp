#include "tools/filespack/command_line/size_argument.h"

#include <array>
#include <charconv>
#include <limits>

namespace {

struct Suffix {
    std::string_view text;
    int64_t factor;
};

// Decimal and binary prefixes both, as a size is as often thought of in one as in the other; "K"
// and "MB" are left out because people mean either by them.
constexpr std::array<Suffix, 4> kSuffixes{{{"Mi", 1 << 20}, {"Ki", 1 << 10}, {"M", 1000000},
                                           {"k", 1000}}};

constexpr const char* kForms = "a whole number of bytes, optionally with k (1000), M (1000000), "
                               "Ki (1024) or Mi (1048576), such as 200k or 64Ki";

}  // namespace

std::string ParseSize(std::string_view text, int64_t low, int64_t high, int64_t& value) {
    const std::string shown = "\"" + std::string(text) + "\"";
    int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (end == text.data() || ec == std::errc::invalid_argument || number < 0) {
        return shown + " is not a size: write " + kForms;
    }
    const std::string_view rest(end, static_cast<size_t>(text.data() + text.size() - end));
    int64_t factor = 1;
    if (!rest.empty()) {
        factor = 0;
        for (const Suffix& suffix : kSuffixes) {
            if (rest == suffix.text) factor = suffix.factor;
        }
        if (factor == 0) {
            return shown + " has an unknown unit \"" + std::string(rest) + "\": write " + kForms;
        }
    }
    const bool overflows =
        ec == std::errc::result_out_of_range || number > std::numeric_limits<int64_t>::max() / factor;
    const int64_t bytes = overflows ? std::numeric_limits<int64_t>::max() : number * factor;
    if (bytes < low || bytes > high) {
        return shown + " is outside " + FormatSize(low) + " (" + std::to_string(low) + ") to " +
               FormatSize(high) + " (" + std::to_string(high) + ")";
    }
    value = bytes;
    return "";
}

std::string FormatSize(int64_t value) {
    if (value == 0) return "0";
    for (const Suffix& suffix : kSuffixes) {
        if (value % suffix.factor == 0) {
            return std::to_string(value / suffix.factor) + std::string(suffix.text);
        }
    }
    return std::to_string(value);
}
