#include "package/name_case.h"

#include <algorithm>
#include <iterator>

#include "package/name_case_table.h"
#include "package/utf8_text.h"

namespace {

char32_t Fold(char32_t c) {
    const auto* end = std::end(NAME_CASE_PAIRS);
    const auto* found = std::lower_bound(
        std::begin(NAME_CASE_PAIRS), end, c,
        [](const NameCasePair& pair, char32_t value) { return pair.lower < value; });
    return found != end && found->lower == c ? found->upper : c;
}

}  // namespace

std::string FoldNameCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const size_t start = at;
        const char32_t c = NextUtf8(utf8, at);
        if (c == NOT_UTF8) {
            out += utf8.substr(start, at - start);
            continue;
        }
        AppendUtf8(out, Fold(c));
    }
    return out;
}
