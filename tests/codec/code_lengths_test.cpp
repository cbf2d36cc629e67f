#include "codec/code_lengths.h"

#include <gtest/gtest.h>

#include <queue>
#include <random>

namespace {

double KraftSum(const CodeLengths& lengths, const std::array<bool, 256>& in_code) {
    double sum = 0;
    for (size_t b = 0; b < 256; ++b) {
        if (in_code[b]) sum += 1.0 / static_cast<double>(uint64_t{1} << lengths[b]);
    }
    return sum;
}

uint64_t Cost(const CodeLengths& lengths, const ByteCounts& weights) {
    uint64_t cost = 0;
    for (size_t b = 0; b < 256; ++b) cost += weights[b] * lengths[b];
    return cost;
}

// The unlimited optimum, by merging the two lightest weights until one is left.
uint64_t HuffmanCost(const ByteCounts& weights, const std::array<bool, 256>& in_code) {
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> heap;
    for (size_t b = 0; b < 256; ++b) {
        if (in_code[b]) heap.push(weights[b]);
    }
    uint64_t cost = 0;
    while (heap.size() > 1) {
        const uint64_t a = heap.top();
        heap.pop();
        const uint64_t c = a + heap.top();
        heap.pop();
        cost += c;
        heap.push(c);
    }
    return cost;
}

TEST(CodeLengthsTest, OptimalAndCompleteWhenTheLimitIsLoose) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 50; ++trial) {
        ByteCounts weights{};
        std::array<bool, 256> in_code{};
        for (size_t b = 0; b < 256; ++b) {
            in_code[b] = random() % 3 != 0;
            weights[b] = in_code[b] ? random() % 1000 : 0;
        }
        in_code[0] = in_code[1] = true;
        const auto lengths = LimitedCodeLengths(weights, in_code, 25);
        EXPECT_DOUBLE_EQ(KraftSum(lengths, in_code), 1.0);
        EXPECT_EQ(Cost(lengths, weights), HuffmanCost(weights, in_code));
    }
}

TEST(CodeLengthsTest, LimitHoldsForSteepWeights) {
    ByteCounts weights{};
    std::array<bool, 256> in_code{};
    uint64_t a = 1, b = 1;
    for (size_t v = 0; v < 40; ++v) {
        weights[v] = a;
        in_code[v] = true;
        const uint64_t c = a + b;
        a = b;
        b = c;
    }
    for (int limit : {6, 12, 25}) {
        const auto lengths = LimitedCodeLengths(weights, in_code, limit);
        for (size_t v = 0; v < 40; ++v) EXPECT_LE(lengths[v], limit);
        EXPECT_DOUBLE_EQ(KraftSum(lengths, in_code), 1.0);
    }
    // 256 values in 8 bits leave only the flat code.
    weights.fill(1);
    weights[0] = 1000000;
    in_code.fill(true);
    const auto flat = LimitedCodeLengths(weights, in_code, 8);
    for (size_t v = 0; v < 256; ++v) EXPECT_EQ(flat[v], 8);
}

TEST(CodeLengthsTest, OneOrNoValue) {
    ByteCounts weights{};
    std::array<bool, 256> in_code{};
    EXPECT_EQ(LimitedCodeLengths(weights, in_code, 25), CodeLengths{});
    in_code[42] = true;
    weights[42] = 9;
    EXPECT_EQ(LimitedCodeLengths(weights, in_code, 25), CodeLengths{});
}

}  // namespace
