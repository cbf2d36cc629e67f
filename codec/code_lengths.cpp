#include "codec/code_lengths.h"

#include <algorithm>
#include <vector>

namespace {

// Unlimited optimal lengths by Moffat and Katajainen's in-place method. `a` holds the weights in
// ascending order and receives the lengths; the array is reused for parent links and depths.
void HuffmanLengths(std::vector<uint64_t>& a) {
    const size_t n = a.size();
    a[0] += a[1];
    size_t root = 0;
    size_t leaf = 2;
    for (size_t next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (size_t next = n - 2; next-- > 0;) a[next] = a[static_cast<size_t>(a[next])] + 1;
    size_t available = 1;
    size_t used = 0;
    uint64_t depth = 0;
    size_t internal = n - 1;  // one past the next internal node to look at, right to left
    size_t next = n;          // one past the next slot to receive a leaf depth
    while (available > 0) {
        while (internal > 0 && a[internal - 1] == depth) {
            ++used;
            --internal;
        }
        while (available > used) {
            a[--next] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

}  // namespace

// Package-merge without package trees: each level's list is the leaves merged with the pairs
// of the level below, and the items chosen at a level are always a prefix of its list. The
// leaves in such a prefix are the lightest ones, so a level only needs to remember which of its
// items are leaves; walking down from the top then tells how many of the lightest leaves each
// level lengthens by one bit.
CodeLengths LimitedCodeLengths(const ByteCounts& weights, const std::array<bool, 256>& in_code,
                               int max_length) {
    CodeLengths lengths{};
    std::vector<uint8_t> symbols;
    for (size_t b = 0; b < 256; ++b) {
        if (in_code[b]) symbols.push_back(static_cast<uint8_t>(b));
    }
    const size_t n = symbols.size();
    if (n < 2) return lengths;  // none, or one value with a zero-length code
    if (max_length < 8 && n > (size_t{1} << std::max(max_length, 0))) return lengths;
    std::stable_sort(symbols.begin(), symbols.end(),
                     [&weights](uint8_t a, uint8_t b) { return weights[a] < weights[b]; });

    // Most data never meets the limit: plain optimal lengths are cheaper to find.
    std::vector<uint64_t> sorted(n);
    for (size_t i = 0; i < n; ++i) sorted[i] = weights[symbols[i]];
    HuffmanLengths(sorted);
    if (sorted[0] <= static_cast<uint64_t>(max_length)) {
        for (size_t i = 0; i < n; ++i) lengths[symbols[i]] = static_cast<uint8_t>(sorted[i]);
        return lengths;
    }

    // No list needs more than its 2n - 2 lightest items: no later item is ever chosen.
    const size_t keep = 2 * n - 2;
    const auto levels = static_cast<size_t>(max_length);
    std::vector<uint8_t> is_leaf(levels * keep);
    std::vector<uint64_t> below;
    std::vector<uint64_t> list;
    list.reserve(keep);
    below.reserve(keep);

    for (size_t level = 0; level < levels; ++level) {
        below.swap(list);
        list.clear();
        uint8_t* leaf_flags = &is_leaf[level * keep];
        size_t leaf = 0;
        size_t pair = 0;  // index into `below` of the next package's first item
        const size_t packages = level == 0 ? 0 : below.size() / 2;
        while (list.size() < keep && (leaf < n || pair / 2 < packages)) {
            const bool have_package = pair / 2 < packages;
            const uint64_t package_weight = have_package ? below[pair] + below[pair + 1] : 0;
            const bool take_leaf =
                leaf < n && (!have_package || weights[symbols[leaf]] <= package_weight);
            leaf_flags[list.size()] = take_leaf ? 1 : 0;
            if (take_leaf) {
                list.push_back(weights[symbols[leaf++]]);
            } else {
                list.push_back(package_weight);
                pair += 2;
            }
        }
    }

    size_t chosen = keep;
    for (size_t level = levels; level-- > 0 && chosen > 0;) {
        const uint8_t* leaf_flags = &is_leaf[level * keep];
        size_t leaves = 0;
        for (size_t i = 0; i < chosen; ++i) leaves += leaf_flags[i];
        for (size_t i = 0; i < leaves; ++i) ++lengths[symbols[i]];
        chosen = 2 * (chosen - leaves);
    }
    return lengths;
}
