#include "codec/run_length_decode.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "tests/codec/codec_test_data.h"
#include "tests/codec/codec_test_support.h"
#include "tests/codec/test_bits.h"

namespace {

constexpr uint8_t kEsc = 0xE5;

StageResult RunLength(const std::vector<uint8_t>& stream, int32_t capacity = 100000) {
    return RunStage(RunLengthDecode, stream, capacity);
}

// Mode 1, escape kEsc, then the given items.
std::vector<uint8_t> Coded(std::vector<uint8_t> items) {
    items.insert(items.begin(), {1, kEsc});
    return items;
}

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& pattern, size_t times) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

TEST(RunLengthDecodeTest, StoredModeMovesDataDown) {
    const auto r = RunLength({0, 'a', kEsc, 'b'});
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{'a', kEsc, 'b'}));
    EXPECT_EQ(RunLength({0}).result, 0);
}

TEST(RunLengthDecodeTest, ModeAndFramingErrors) {
    EXPECT_EQ(RunLength({2, kEsc, 'a'}).result, -1);
    EXPECT_EQ(RunLength({0xFF}).result, -1);
    EXPECT_EQ(RunLength({1}).result, -1);                       // no escape byte
    EXPECT_EQ(RunLength(Coded({})).result, 0);                  // nothing after the escape byte
    EXPECT_EQ(RunLength(Coded({'a', kEsc})).result, -1);        // escape byte last
    EXPECT_EQ(RunLength(Coded({kEsc, 0x10, 'a'})).result, -1);  // 2-byte pattern cut
    EXPECT_EQ(RunLength(Coded({kEsc, 0x80})).result, -1);       // long run without extension
    EXPECT_EQ(RunLength(Coded({kEsc, 0x80, 3})).result, -1);    // long run without pattern
}

TEST(RunLengthDecodeTest, EveryDescriptorForm) {
    struct Case {
        std::vector<uint8_t> items;
        std::vector<uint8_t> pattern;
        size_t repeats;
    };
    const std::vector<uint8_t> eight{1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<uint8_t> seven{9, 8, 7, 6, 5, 4, 3};
    const std::vector<Case> cases = {
        {{kEsc, 0x00, 'x'}, {'x'}, 1},
        {{kEsc, 0x7F, 1, 2, 3, 4, 5, 6, 7, 8}, eight, 16},
        {{kEsc, 0x80, 0, 'y'}, {'y'}, 16},
        {{kEsc, 0xEF, 255, 9, 8, 7, 6, 5, 4, 3}, seven, 3856},
        {{kEsc, 0xFE, 255, 1, 2, 3, 4, 5, 6, 7, 8}, eight, 3855},
        {{kEsc, 0xFF}, {kEsc}, 1},
        // Overlapping counts of short and long runs.
        {{kEsc, 0x0F, 'z'}, {'z'}, 16},
        {{kEsc, 0x8F, 0, 'z'}, {'z'}, 31},
        {{kEsc, 0x80, 1, 'z'}, {'z'}, 31},
        // The escape byte inside a pattern is data.
        {{kEsc, 0x12, kEsc, 0xFF}, {kEsc, 0xFF}, 3},
    };
    for (const auto& c : cases) {
        const auto r = RunLength(Coded(c.items));
        EXPECT_EQ(r.Output(), Repeat(c.pattern, c.repeats)) << "descriptor " << int{c.items[1]};
    }

    const auto mixed = RunLength(Coded({'a', kEsc, 0xFF, 'b', kEsc, 0x01, 'c', 'd'}));
    EXPECT_EQ(mixed.Output(), (std::vector<uint8_t>{'a', kEsc, 'b', 'c', 'c', 'd'}));
}

TEST(RunLengthDecodeTest, CapacityIsAHardLimit) {
    // A run ending exactly at capacity with the input ending there.
    const auto exact = RunLength(Coded({'a', 'b', kEsc, 0x80, 0, 'r'}), 18);
    EXPECT_EQ(exact.result, 18);
    EXPECT_EQ(RunLength(Coded({'a', 'b', kEsc, 0x80, 0, 'r'}), 17).result, -1);
    // Input left once capacity is reached.
    EXPECT_EQ(RunLength(Coded({kEsc, 0x80, 0, 'r', 'x'}), 16).result, -1);
    EXPECT_EQ(RunLength(Coded({kEsc, 0x80, 0, 'r', kEsc, 0xFF}), 16).result, -1);
    EXPECT_EQ(RunLength(Coded({'a', 'b', 'c'}), 2).result, -1);
    EXPECT_EQ(RunLength(Coded({'a', 'b', 'c'}), 3).result, 3);
    // The largest run stays within a block.
    EXPECT_EQ(RunLength(Coded({kEsc, 0xEF, 255, 1, 2, 3, 4, 5, 6, 7}), 3856 * 7 - 1).result, -1);
}

TEST(ChunkDecoderTest, EntropyFailuresPassThroughUnchanged) {
    auto decode = [](uint8_t* b, int32_t n, int32_t c) { return ChunkDecoder().Decode(b, n, c); };
    // Identity-coded run-length stream with a bad mode.
    const auto bad_mode = TestBits().Put(1, 8).Put(8, 8).Bytes({7, 1, 2}).Body(3);
    EXPECT_EQ(RunStage(decode, bad_mode, 64).result, -1);
    EXPECT_EQ(RunStage(decode, TestBits().Put(1, 8).Put(8, 8).Body(-9), 64).result, -9);
    EXPECT_EQ(RunStage(decode, TestBits().Put(1, 8).Put(7, 8).Body(1), 64).result, 0);

    const auto runs = TestBits().Put(1, 8).Put(8, 8).Bytes(Coded({kEsc, 0x83, 2, 'q'})).Body(6);
    const auto r = RunStage(decode, runs, 64);
    EXPECT_EQ(r.result, 49);
    EXPECT_EQ(r.Output(), Repeat({'q'}, 49));
}

// Real compressed bodies, damaged: cut short, with a lying declared length, with bits flipped
// in the description. Every result stays within the contract, and ASan sees no stray access.
TEST(ChunkDecoderTest, DamagedBodiesFailWithinContract) {
    auto decode = [](uint8_t* b, int32_t n, int32_t c) { return ChunkDecoder().Decode(b, n, c); };
    constexpr int32_t kBlock = 4096;
    const std::vector<std::vector<uint8_t>> pieces = {
        codec_test::TextLike(kBlock, 21), codec_test::RunHeavy(kBlock, 22),
        codec_test::SkewedBytes(kBlock, 23), codec_test::BinaryLike(kBlock, 24)};
    std::mt19937 random(25);
    for (const auto& piece : pieces) {
        const auto body = ChunkEncoder().Encode(piece.data(), piece.size(), kBlock);
        ASSERT_LT(body.size(), piece.size()) << "a compressed body, not a stored one";
        auto expect_sane = [&](const std::vector<uint8_t>& damaged) {
            const auto r = RunStage(decode, damaged, kBlock + 16);
            EXPECT_LE(r.result, kBlock + 16);
        };
        for (size_t cut = 0; cut < body.size(); cut += 1 + cut / 8) {
            const std::vector<uint8_t> part(body.begin(),
                                            body.begin() + static_cast<std::ptrdiff_t>(cut));
            const auto r = RunStage(decode, part, kBlock + 16);
            EXPECT_LE(r.result, 0) << "cut at " << cut;
        }
        for (int32_t declared :
             {1, 100, kBlock - 1, kBlock + 1, kBlock + 16, kBlock + 17, INT32_MAX, INT32_MIN, -1}) {
            auto lying = body;
            for (int i = 0; i < 4; ++i) {
                lying[static_cast<size_t>(i)] =
                    static_cast<uint8_t>(static_cast<uint32_t>(declared) >> (8 * i));
            }
            expect_sane(lying);
        }
        for (int trial = 0; trial < 200; ++trial) {
            auto flipped = body;
            const size_t at = 4 + random() % std::min<size_t>(body.size() - 4, 200);
            flipped[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            expect_sane(flipped);
        }
    }
}

}  // namespace
