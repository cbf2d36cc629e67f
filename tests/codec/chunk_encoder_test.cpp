#include "codec/chunk_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/entropy_decode.h"
#include "codec/entropy_encode.h"
#include "codec/run_length_decode.h"
#include "codec/run_length_encode.h"
#include "tests/codec/codec_test_data.h"
#include "tests/codec/codec_test_support.h"

namespace {

using namespace codec_test;

int32_t Decode(uint8_t* b, int32_t n, int32_t c) {
    return ChunkDecoder().Decode(b, n, c);
}

// Encodes `data` piece by piece and checks every body against the decoder's contract.
// Returns the total body size.
size_t RoundTrip(const std::vector<uint8_t>& data, int32_t block_size) {
    size_t total = 0;
    const auto block = static_cast<size_t>(block_size);
    for (size_t at = 0; at < data.size(); at += block) {
        const size_t size = std::min(block, data.size() - at);
        const std::vector<uint8_t> piece(data.begin() + static_cast<std::ptrdiff_t>(at),
                                         data.begin() + static_cast<std::ptrdiff_t>(at + size));
        const auto body = ChunkEncoder().Encode(piece.data(), size, block_size);
        EXPECT_LE(body.size(), size + 7) << "never worse than stored";
        EXPECT_EQ(ChunkEncoder().Encode(piece.data(), size, block_size), body) << "deterministic";
        // The writer weighs cuttings by this length without writing the body.
        EXPECT_EQ(ChunkEncoder().EncodedSize(piece.data(), size, block_size), body.size());
        const auto r = RunStage(Decode, body, block_size + 16);
        EXPECT_EQ(r.result, static_cast<int32_t>(size));
        EXPECT_TRUE(r.Output() == piece) << "piece at " << at;
        total += body.size();
    }
    return total;
}

// Every stage-one stream written under its planned code decodes back, without the encoder's
// own safety net in between.
void ExpectEntropyRoundTrip(const std::vector<uint8_t>& stream) {
    const EntropyPlan plan = PlanEntropyCode(CountBytes(stream.data(), stream.size()));
    const auto body = WriteEntropyBody(plan, stream.data(), stream.size());
    EXPECT_EQ(body.size(), plan.BodySize());
    const auto capacity = static_cast<int32_t>(stream.size());
    const auto r = RunStage(EntropyDecode, body, capacity);
    ASSERT_EQ(r.result, capacity) << "groups " << plan.groups;
    EXPECT_TRUE(r.Output() == stream);
}

TEST(ChunkEncoderTest, RoundTripsEveryKindOfData) {
    struct Kind {
        const char* name;
        std::function<std::vector<uint8_t>(size_t, uint32_t)> make;
    };
    const std::vector<Kind> kinds = {{"random", RandomBytes},
                                     {"skewed", SkewedBytes},
                                     {"text", TextLike},
                                     {"runs", RunHeavy},
                                     {"binary", BinaryLike}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        RoundTrip(kind.make(5000, 1), 1024);
        RoundTrip(kind.make(450000, 2), 200000);
    }
    // Two pieces of the largest block size, the second a short tail.
    RoundTrip(RunHeavy(4000000 + 3000, 3), 4000000);
    RoundTrip(SkewedBytes(4000000, 4), 4000000);
}

TEST(ChunkEncoderTest, PicksCompactForms) {
    const auto random = RandomBytes(200000, 5);
    EXPECT_EQ(RoundTrip(random, 200000), random.size() + 7);

    const std::vector<uint8_t> zeros(4000000, 0);
    EXPECT_LT(RoundTrip(zeros, 4000000), 200u);
    EXPECT_LT(RoundTrip(RunHeavy(200000, 6), 200000), 200000u / 4);
    // Without runs to take, within a hair of the order-0 entropy plus the description.
    for (const auto& data : {TextLike(200000, 7), SkewedBytes(200000, 8)}) {
        const ByteCounts counts = CountBytes(data.data(), data.size());
        double bound_bits = 0;
        for (uint64_t c : counts) {
            if (c > 0)
                bound_bits -= static_cast<double>(c) * std::log2(static_cast<double>(c) / 200000.0);
        }
        EXPECT_LT(static_cast<double>(RoundTrip(data, 200000)), bound_bits / 8 * 1.01 + 300);
    }
}

TEST(ChunkEncoderTest, SmallAndOddPieces) {
    for (size_t size : {1u, 2u, 3u, 7u, 16u, 17u, 100u}) {
        RoundTrip(std::vector<uint8_t>(size, 0xFF), 1024);
        RoundTrip(RandomBytes(size, static_cast<uint32_t>(size)), 1024);
    }
    // A full block of the smallest size, one short of it, every byte value once.
    std::vector<uint8_t> all(256);
    for (size_t b = 0; b < 256; ++b) all[b] = static_cast<uint8_t>(b);
    RoundTrip(all, 1024);
    RoundTrip(RandomBytes(1024, 9), 1024);
    RoundTrip(RandomBytes(1023, 9), 1024);

    EXPECT_TRUE(ChunkEncoder().Encode(all.data(), 256, 255).empty()) << "piece over a block";
    EXPECT_TRUE(ChunkEncoder().Encode(all.data(), 0, 1024).empty()) << "decodes as a failed chunk";
}

TEST(EntropyEncodeTest, AlphabetShapesDecode) {
    // One value only (zero-length codes); two values; a power-of-two number of lengths with
    // absent values; all 256 values; one value absent; every length from 1 to the limit.
    ExpectEntropyRoundTrip(std::vector<uint8_t>(3000, 0));
    ExpectEntropyRoundTrip({5, 9, 9, 5, 5, 5, 9});
    std::vector<uint8_t> two_lengths;
    for (int i = 0; i < 50; ++i) two_lengths.insert(two_lengths.end(), {1, 1, 2, 3});
    ExpectEntropyRoundTrip(two_lengths);
    std::vector<uint8_t> all_but_one;
    for (int i = 0; i < 40; ++i) {
        for (int b = 0; b < 255; ++b)
            all_but_one.push_back(static_cast<uint8_t>(b * (i % 7 + 1) % 255));
    }
    ExpectEntropyRoundTrip(all_but_one);
    // Fibonacci counts push an unlimited code far past 25 bits.
    std::vector<uint8_t> fibonacci;
    uint64_t a = 1, b = 1;
    for (int v = 0; v < 31; ++v) {
        fibonacci.insert(fibonacci.end(), static_cast<size_t>(a), static_cast<uint8_t>(v));
        const uint64_t c = a + b;
        a = b;
        b = c;
    }
    ExpectEntropyRoundTrip(fibonacci);
    ExpectEntropyRoundTrip(SkewedBytes(100000, 10));
    ExpectEntropyRoundTrip(TextLike(10000, 11));
}

TEST(RunLengthEncodeTest, StreamsDecodeWithinCapacity) {
    const std::vector<std::vector<uint8_t>> inputs = {
        RunHeavy(300000, 12), BinaryLike(100000, 13), RandomBytes(5000, 14),
        std::vector<uint8_t>(100000, 7), std::vector<uint8_t>(3856 * 7 + 5, 0xAB)};
    for (const auto& data : inputs) {
        const auto stream = RunLengthEncode(data.data(), data.size());
        const auto r = RunStage(RunLengthDecode, stream, static_cast<int32_t>(data.size()));
        ASSERT_EQ(r.result, static_cast<int32_t>(data.size()));
        EXPECT_TRUE(r.Output() == data);
    }
    // Every byte value occurs: the escape byte must be escaped wherever it is a literal.
    auto dense = RandomBytes(50000, 15);
    for (size_t i = 0; i < 256; ++i) dense[i] = static_cast<uint8_t>(i);
    const auto stream = RunLengthEncode(dense.data(), dense.size());
    EXPECT_EQ(RunStage(RunLengthDecode, stream, 50000).Output(), dense);

    // Longest counts: a one-byte run of 3856 and 8-byte patterns up to 3855 repeats.
    const std::vector<uint8_t> long_run(3856, 0x11);
    EXPECT_LE(RunLengthEncode(long_run.data(), long_run.size()).size(), 2u + 4u);
}

}  // namespace
