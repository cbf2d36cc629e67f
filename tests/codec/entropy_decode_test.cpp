#include "codec/entropy_decode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/chunk_decoder.h"
#include "tests/codec/codec_test_support.h"
#include "tests/codec/test_bits.h"

namespace {

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

StageResult Entropy(const std::vector<uint8_t>& body, int32_t capacity = 1024) {
    return RunStage(EntropyDecode, body, capacity);
}

// h = 1, length 9: every code is the byte value behind one leading zero bit.
TestBits NineBitIdentity() {
    return TestBits().Put(1, 8).Put(9, 8);
}

// Three groups, index width 2, so index 3 marks a byte value with no code:
//   group 0, length 2: {0}      -> 00
//   group 1, length 2: {1, 2}   -> 01 10 (continues group 0's range: step 0)
//   group 2, length 3: {3, 4}   -> 110 111 (fills the code space)
TestBits EqualLengthGroups() {
    return TestBits().Put(3, 8).Put(2, 8).Put(2, 8).Put(3, 8).Indexes(2, [](int b) {
        if (b == 0) return 0;
        if (b <= 2) return 1;
        if (b <= 4) return 2;
        return 3;
    });
}

TEST(EntropyDecodeTest, IdentityCodePassesBytesThrough) {
    const auto r = Entropy(TestBits().Put(1, 8).Put(8, 8).Bytes(Text("hello")).Body(5));
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.Output(), Text("hello"));

    // A stored chunk: identity code around the run-length stage's stored mode.
    const auto data = Text("stored chunk \x01\xFF data");
    std::vector<uint8_t> with_mode{0};
    with_mode.insert(with_mode.end(), data.begin(), data.end());
    const auto body = TestBits().Put(1, 8).Put(8, 8).Bytes(with_mode).Body(
        static_cast<int32_t>(with_mode.size()));
    ASSERT_EQ(body.size(), data.size() + 7);
    const auto chunk = RunStage(
        [](uint8_t* b, int32_t n, int32_t c) { return ChunkDecoder().Decode(b, n, c); }, body, 64);
    EXPECT_EQ(chunk.result, static_cast<int32_t>(data.size()));
    EXPECT_EQ(chunk.Output(), data);
}

TEST(EntropyDecodeTest, SingleGroupLengthAroundEight) {
    // Below 8 bits a single group cannot hold all 256 byte values.
    EXPECT_EQ(Entropy(TestBits().Put(1, 8).Put(7, 8).Put(5, 7).Body(1)).result, 0);

    TestBits nine = NineBitIdentity();
    for (uint32_t b : {0u, 0x41u, 0xFFu}) nine.Put(b, 9);
    const auto r = Entropy(nine.Body(3));
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{0, 0x41, 0xFF}));

    // 256 and up are past the last group's limit: corrupt data, not a walk off the tables.
    EXPECT_EQ(Entropy(NineBitIdentity().Put(0x41, 9).Put(0x100, 9).Body(2)).result, 0);
    EXPECT_EQ(Entropy(NineBitIdentity().Put(0x1FF, 9).Body(1)).result, 0);
}

TEST(EntropyDecodeTest, TwoGroupsUseOneIndexBit) {
    // Group 0, length 1: {'A'} -> 0. Group 1, length 9: the other 255 values from 256 up.
    TestBits bits;
    bits.Put(2, 8).Put(1, 8).Put(9, 8).Indexes(1, [](int b) { return b == 'A' ? 0 : 1; });
    auto code_of = [](uint32_t b) { return 256 + (b < 'A' ? b : b - 1); };
    bits.Put(0, 1).Put(code_of('B'), 9).Put(0, 1).Put(code_of(0), 9).Put(code_of(0xFF), 9);
    const auto r = Entropy(bits.Body(5));
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{'A', 'B', 'A', 0, 0xFF}));
}

TEST(EntropyDecodeTest, EqualLengthsContinueAndAbsentBytesHaveNoCode) {
    TestBits bits = EqualLengthGroups();
    bits.Put(0b00, 2).Put(0b01, 2).Put(0b10, 2).Put(0b110, 3).Put(0b111, 3).Put(0b01, 2);
    const auto r = Entropy(bits.Body(6));
    EXPECT_EQ(r.result, 6);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{0, 1, 2, 3, 4, 1}));
}

TEST(EntropyDecodeTest, EmptyGroupsArePassedOver) {
    // Five groups, index width 3 (index 5: no code):
    //   group 0, length 1: empty
    //   group 1, length 2: {7}      -> 00
    //   group 2, length 3: empty
    //   group 3, length 3: {9, 10}  -> 010 011
    //   group 4, length 4: empty, the last; limit 8 of 16
    TestBits bits;
    bits.Put(5, 8).Put(1, 8).Put(2, 8).Put(3, 8).Put(3, 8).Put(4, 8).Indexes(3, [](int b) {
        if (b == 7) return 1;
        if (b == 9 || b == 10) return 3;
        return 5;
    });
    bits.Put(0b00, 2).Put(0b010, 3).Put(0b011, 3).Put(0b00, 2);
    const auto r = Entropy(bits.Body(4));
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{7, 9, 10, 7}));
    // 1xxx is past the last group's limit.
    EXPECT_EQ(Entropy(TestBits(bits).Put(0b1000, 4).Body(5)).result, 0);
}

TEST(EntropyDecodeTest, CodeSpaceExhaustionBeforeLastGroupFails) {
    // Group 0 (length 1) holds two values and fills its space; a later group, even empty, has
    // no room left.
    auto with_later_group = [](int later_size) {
        TestBits bits;
        bits.Put(3, 8).Put(1, 8).Put(2, 8).Put(3, 8).Indexes(2, [later_size](int b) {
            if (b < 2) return 0;
            if (b < 2 + later_size) return 2;
            return 3;
        });
        return Entropy(bits.Put(0, 8).Body(1)).result;
    };
    EXPECT_EQ(with_later_group(0), 0);
    EXPECT_EQ(with_later_group(1), 0);

    // The same two values as the last group fill the space validly.
    TestBits last;
    last.Put(3, 8).Put(0, 8).Put(0, 8).Put(1, 8).Indexes(2, [](int b) { return b < 2 ? 2 : 3; });
    const auto r = Entropy(last.Put(0b1011, 4).Body(4));
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{1, 0, 1, 1}));
}

TEST(EntropyDecodeTest, FullCodeSpaceDecodesEveryBitPattern) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 20; ++trial) {
        TestBits bits = EqualLengthGroups();
        for (int i = 0; i < 30; ++i) bits.Put(random() & 0xFF, 8);
        // Codes are at most 3 bits: 80 codes fit in the 240 random bits.
        EXPECT_EQ(Entropy(bits.Body(80)).result, 80);
    }
}

TEST(EntropyDecodeTest, DeclaredLengthAgainstCapacity) {
    const auto over = TestBits().Put(1, 8).Put(8, 8).Bytes(Text("abcd")).Body(4);
    const auto rejected = Entropy(over, 3);
    EXPECT_EQ(rejected.result, 0);
    EXPECT_TRUE(std::equal(over.begin(), over.end(), rejected.buffer.begin()));
    EXPECT_EQ(Entropy(over, 4).result, 4);

    EXPECT_EQ(Entropy(TestBits().Put(1, 8).Put(8, 8).Body(0)).result, 0);
    EXPECT_EQ(Entropy(TestBits().Put(1, 8).Put(8, 8).Body(-7)).result, -7);
    // Nothing is decoded for a non-positive length, but the description is still checked.
    EXPECT_EQ(Entropy(TestBits().Put(1, 8).Put(7, 8).Body(-7)).result, 0);

    EXPECT_EQ(Entropy(TestBits().Put(0, 8).Body(0)).result, 0);
    EXPECT_EQ(Entropy(TestBits().Put(0, 8).Body(-3)).result, -3);
    EXPECT_EQ(Entropy(TestBits().Put(0, 8).Put(0, 8).Body(2)).result, 0);
}

TEST(EntropyDecodeTest, StreamEndIsHonoured) {
    // 16 header bits + 8 codes of 9 bits = 88 bits: the last code ends in the body's last bit.
    TestBits exact = NineBitIdentity();
    for (uint32_t b = 1; b <= 8; ++b) exact.Put(b * 31, 9);
    ASSERT_EQ(exact.bit_count() % 8, 0);
    const auto body = exact.Body(8);
    const auto r = Entropy(body);
    ASSERT_EQ(r.result, 8);
    EXPECT_EQ(r.buffer[7], 8 * 31);

    // Seven unused bits after the last code.
    TestBits padded = NineBitIdentity().Put(0x33, 9);
    EXPECT_EQ(Entropy(padded.Body(1)).result, 1);

    // One code more than the body holds, and every truncation: clean failure.
    EXPECT_EQ(Entropy(exact.Body(9)).result, 0);
    for (size_t cut = 0; cut < body.size(); ++cut) {
        EXPECT_EQ(Entropy({body.begin(), body.begin() + static_cast<std::ptrdiff_t>(cut)}).result,
                  0)
            << "cut at " << cut;
    }
}

TEST(EntropyDecodeTest, OutOfRangeLengthsAreRejected) {
    auto two_groups = [](uint32_t first, uint32_t second) {
        TestBits bits;
        bits.Put(2, 8).Put(first, 8).Put(second, 8).Indexes(1,
                                                            [](int b) { return b == 0 ? 0 : 1; });
        return bits;
    };
    EXPECT_EQ(Entropy(two_groups(3, 2).Put(0, 8).Body(1)).result, 0);     // decreasing
    EXPECT_EQ(Entropy(two_groups(26, 27).Put(0, 32).Body(1)).result, 0);  // first length > 25
    EXPECT_EQ(Entropy(two_groups(1, 27).Put(0, 32).Body(1)).result, 0);   // step > 25
    EXPECT_EQ(Entropy(two_groups(25, 31).Put(0, 32).Body(1)).result, 0);  // length > 30

    // The widest valid codes: 25 bits for byte 0, then 30 bits for the rest from 1 << 5.
    const auto r = Entropy(two_groups(25, 30).Put(0, 25).Put(32 + 0xFE, 30).Put(0, 25).Body(3));
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.Output(), (std::vector<uint8_t>{0, 0xFF, 0}));
}

TEST(EntropyDecodeTest, GarbageBodiesFailWithinContract) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> body(4 + random() % 600);
        for (auto& b : body) b = static_cast<uint8_t>(random());
        const int32_t capacity = 1024;
        body[0] = static_cast<uint8_t>(random() % 1500);
        body[1] = static_cast<uint8_t>(random() % 5);
        body[2] = body[3] = 0;
        const auto r = Entropy(body, capacity);
        EXPECT_GE(r.result, 0);
        EXPECT_LE(r.result, capacity);
        // Nothing past capacity changes.
        const size_t untouched = std::max(body.size(), static_cast<size_t>(capacity));
        for (size_t i = untouched; i < r.buffer.size(); ++i) ASSERT_EQ(r.buffer[i], 0xA5) << i;
    }
    EXPECT_EQ(Entropy({1, 0, 0}).result, 0);  // no room for the declared length
}

}  // namespace
