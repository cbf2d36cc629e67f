#include "tools/filespack/command_line/verb_suggestion.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace {

struct Synonym {
    std::string_view word;
    std::string_view verb;
};

// What other archivers and package tools call the same thing.
constexpr std::array<Synonym, 14> kSynonyms{{
    {"pack", "create"},      {"add", "create"},    {"new", "create"},   {"make", "create"},
    {"unpack", "extract"},   {"x", "extract"},     {"unzip", "extract"}, {"ls", "list"},
    {"l", "list"},           {"t", "test"},        {"check", "test"},   {"verify", "test"},
    {"product", "exe"},      {"stamp", "exe"},
}};

// Optimal string alignment distance: a swapped pair of letters counts as one slip.
size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string SuggestVerb(std::string_view typed, std::span<const std::string_view> verbs) {
    std::string lower(typed);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Synonym& synonym : kSynonyms) {
        if (lower == synonym.word) return std::string(synonym.verb);
    }
    std::string best;
    // A third of the word may be wrong, as git allows; more and the guess is noise.
    size_t best_distance = std::max<size_t>(1, lower.size() / 3) + 1;
    for (std::string_view verb : verbs) {
        const size_t distance = Distance(lower, verb);
        if (distance < best_distance || (lower.size() >= 2 && verb.starts_with(lower))) {
            best_distance = std::min(distance, best_distance);
            best = std::string(verb);
            if (verb.starts_with(lower) && lower.size() >= 2) break;
        }
    }
    return best;
}
