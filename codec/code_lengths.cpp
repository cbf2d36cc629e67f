#include "codec/code_lengths.h"

#include <algorithm>
#include <vector>

namespace {

struct Node {
    uint64_t weight;
    int32_t left;  // child nodes of a package; -1 for a leaf
    int32_t right;
    int32_t symbol;  // byte value of a leaf
};

}  // namespace

CodeLengths LimitedCodeLengths(const ByteCounts& weights, const std::array<bool, 256>& in_code,
                               int max_length) {
    CodeLengths lengths{};
    std::vector<Node> nodes;
    nodes.reserve(256 * 2 * static_cast<size_t>(max_length) + 256);
    for (int32_t b = 0; b < 256; ++b) {
        if (in_code[static_cast<size_t>(b)]) {
            nodes.push_back({weights[static_cast<size_t>(b)], -1, -1, b});
        }
    }
    const size_t n = nodes.size();
    if (n < 2) return lengths;  // none, or one value with a zero-length code
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const Node& a, const Node& b) { return a.weight < b.weight; });

    // Each level's list needs only its 2n - 2 lightest items: no later item is ever chosen.
    const size_t keep = 2 * n - 2;
    std::vector<int32_t> leaves(n);
    for (size_t i = 0; i < n; ++i) leaves[i] = static_cast<int32_t>(i);
    std::vector<int32_t> list = leaves;
    std::vector<int32_t> packages;
    std::vector<int32_t> merged;
    for (int level = 1; level < max_length; ++level) {
        packages.clear();
        for (size_t i = 0; i + 1 < list.size(); i += 2) {
            const Node& a = nodes[static_cast<size_t>(list[i])];
            const Node& b = nodes[static_cast<size_t>(list[i + 1])];
            packages.push_back(static_cast<int32_t>(nodes.size()));
            nodes.push_back({a.weight + b.weight, list[i], list[i + 1], -1});
        }
        merged.clear();
        size_t l = 0;
        size_t p = 0;
        while (merged.size() < keep && (l < n || p < packages.size())) {
            const bool take_leaf = p == packages.size() ||
                                   (l < n && nodes[static_cast<size_t>(leaves[l])].weight <=
                                                 nodes[static_cast<size_t>(packages[p])].weight);
            merged.push_back(take_leaf ? leaves[l++] : packages[p++]);
        }
        list.swap(merged);
    }

    // Every appearance of a leaf among the chosen items lengthens its code by one bit.
    std::vector<int32_t> stack;
    for (size_t i = 0; i < keep && i < list.size(); ++i) {
        stack.push_back(list[i]);
        while (!stack.empty()) {
            const Node& node = nodes[static_cast<size_t>(stack.back())];
            stack.pop_back();
            if (node.left < 0) {
                ++lengths[static_cast<size_t>(node.symbol)];
            } else {
                stack.push_back(node.left);
                stack.push_back(node.right);
            }
        }
    }
    return lengths;
}
