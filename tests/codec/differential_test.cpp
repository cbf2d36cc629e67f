// The table-driven entropy stage against the byte-at-a-time original: every body, valid or not,
// must give the same result, and a successful decode the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "codec/code_lengths.h"
#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"
#include "tests/codec/reference_entropy_decode.h"
#include "tests/codec/reference_pipeline.h"
#include "tests/codec/reference_run_length_decode.h"
#include "tests/codec/test_bits.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    int32_t result;
    Bytes output;
};

template <typename Stage>
Outcome Run(Stage stage, const Bytes& body, int32_t capacity) {
    Bytes buffer(std::max(body.size(), static_cast<size_t>(std::max(capacity, 0))) + 512, 0xA5);
    std::copy(body.begin(), body.end(), buffer.begin());
    const int32_t result = stage(buffer.data(), static_cast<int32_t>(body.size()), capacity);
    const auto n = static_cast<size_t>(std::max(result, 0));
    return {result, Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n))};
}

int32_t Pipeline(uint8_t* buffer, int32_t length, int32_t capacity) {
    return ChunkDecoder().Decode(buffer, length, capacity);
}

// The whole chunk pipeline, which takes its own shortcuts through both stages.
void ExpectSamePipeline(const Bytes& body, int32_t capacity, const std::string& what) {
    const Outcome want = Run(ReferencePipeline, body, capacity);
    const Outcome got = Run(Pipeline, body, capacity);
    EXPECT_EQ(got.result, want.result) << what << " (pipeline)";
    EXPECT_TRUE(got.output == want.output) << what << ": pipeline bytes differ";
}

// Returns the reference's result so callers can tell how much of a set was valid.
int32_t ExpectSame(const Bytes& body, int32_t capacity, const std::string& what) {
    const Outcome want = Run(ReferenceEntropyDecode, body, capacity);
    const Outcome got = Run(EntropyDecode, body, capacity);
    EXPECT_EQ(got.result, want.result) << what;
    EXPECT_TRUE(got.output == want.output) << what << ": bytes differ";
    ExpectSamePipeline(body, capacity, what);
    return want.result;
}

// A code described the decoder's way: group lengths in ascending order and a group per byte
// value (group count or above: no code). Codes follow the decoder's numbering.
struct Description {
    std::vector<int> lengths;
    std::vector<int> group_of = std::vector<int>(256, 0);
    std::vector<uint32_t> code = std::vector<uint32_t>(256, 0);
    std::vector<bool> coded = std::vector<bool>(256, false);

    void Number() {
        uint32_t limit = 0;
        for (size_t g = 0; g < lengths.size(); ++g) {
            const int step = g == 0 ? lengths[0] : lengths[g] - lengths[g - 1];
            uint32_t next = g == 0 ? 0 : limit << step;
            for (int b = 0; b < 256; ++b) {
                if (group_of[static_cast<size_t>(b)] != static_cast<int>(g)) continue;
                code[static_cast<size_t>(b)] = next++;
                coded[static_cast<size_t>(b)] = true;
            }
            limit = next;
        }
    }

    TestBits Header() const {
        TestBits bits;
        const auto h = static_cast<uint32_t>(lengths.size());
        bits.Put(h, 8);
        for (int l : lengths) bits.Put(static_cast<uint32_t>(l), 8);
        if (h >= 2) {
            int width = 1;
            for (uint32_t reach = 2; reach < h; reach *= 2) ++width;
            bits.Indexes(width, [&](int b) { return group_of[static_cast<size_t>(b)]; });
        }
        return bits;
    }
};

// A valid code from random weights under a random length limit; some values left out, and
// sometimes empty groups of length 0 in front (as the encoder writes them).
Description RandomDescription(std::mt19937& rng) {
    ByteCounts weights{};
    std::array<bool, 256> in_code{};
    const int present = 2 + static_cast<int>(rng() % 255);
    const int skew = static_cast<int>(rng() % 4);
    int chosen = 0;
    for (size_t b = 0; b < 256 && chosen < present; ++b) {
        if (rng() % 256 < static_cast<uint32_t>(present) ||
            256 - b <= static_cast<size_t>(present - chosen)) {
            in_code[b] = true;
            ++chosen;
            uint64_t w = 1 + rng() % 1000;
            for (int s = 0; s < skew; ++s) w *= 1 + rng() % 50;
            weights[b] = w;
        }
    }
    int min_limit = 1;
    while ((1 << min_limit) < chosen) ++min_limit;
    const int limit = std::min(25, min_limit + static_cast<int>(rng() % 18));
    const CodeLengths lengths = LimitedCodeLengths(weights, in_code, limit);

    std::vector<int> distinct;
    for (int len = 1; len <= 25; ++len) {
        for (size_t b = 0; b < 256; ++b) {
            if (in_code[b] && lengths[b] == len) {
                distinct.push_back(len);
                break;
            }
        }
    }
    // Empty groups of length 0 in front, sometimes for their own sake, and always when the
    // values with no code need a free group index that the index width can hold.
    int lead = static_cast<int>(rng() % 3);
    auto fits = [&] {
        const int total = lead + static_cast<int>(distinct.size());
        return chosen == 256 || (total >= 2 && (total & (total - 1)) != 0);
    };
    while (!fits()) ++lead;
    Description d;
    d.lengths.assign(static_cast<size_t>(lead), 0);
    std::vector<int> rank(32, -1);
    for (int len : distinct) {
        rank[static_cast<size_t>(len)] = static_cast<int>(d.lengths.size());
        d.lengths.push_back(len);
    }
    const auto groups = static_cast<int>(d.lengths.size());
    for (size_t b = 0; b < 256; ++b) {
        d.group_of[b] = in_code[b] ? rank[lengths[b]] : groups;
    }
    d.Number();
    return d;
}

// Declared length and the codes of `data`, which must only hold coded values.
Bytes Encode(const Description& d, const Bytes& data, int32_t declared) {
    TestBits bits = d.Header();
    for (uint8_t b : data) bits.Put(d.code[b], d.lengths[static_cast<size_t>(d.group_of[b])]);
    return bits.Body(declared);
}

Bytes RandomData(std::mt19937& rng, const Description& d, size_t size) {
    std::vector<uint8_t> values;
    for (int b = 0; b < 256; ++b) {
        if (d.coded[static_cast<size_t>(b)]) values.push_back(static_cast<uint8_t>(b));
    }
    Bytes data(size);
    // Zipf-like draws so short codes dominate, as in real chunks.
    for (auto& byte : data) {
        const size_t r = rng() % values.size();
        byte = values[rng() % 2 ? r % std::max<size_t>(1, values.size() / 8) : r];
    }
    return data;
}

TEST(EntropyDifferential, EncoderChunksOfEveryKind) {
    std::mt19937 rng(1);
    const ChunkEncoder encoder;
    const int32_t block = 1 << 16;
    int decoded = 0;
    for (int round = 0; round < 24; ++round) {
        const size_t size = 1 + rng() % static_cast<uint32_t>(block);
        Bytes piece(size);
        const int kind = round % 4;
        for (size_t i = 0; i < size; ++i) {
            switch (kind) {
                case 0:
                    piece[i] = static_cast<uint8_t>(rng());
                    break;  // noise
                case 1:
                    piece[i] = static_cast<uint8_t>("etaoin shrdlu\n"[rng() % 14]);
                    break;
                case 2:
                    piece[i] = static_cast<uint8_t>(i / (1 + rng() % 300));
                    break;  // runs
                default:
                    piece[i] = static_cast<uint8_t>(rng() % (1 + rng() % 256));
                    break;
            }
        }
        const Bytes body = encoder.Encode(piece.data(), piece.size(), block);
        if (ExpectSame(body, block + 16, "encoder chunk " + std::to_string(round)) > 0) ++decoded;
        // Every cut of the same body: codes that run into the end of the stream.
        for (size_t cut = body.size(); cut > 4 && body.size() - cut < 40; --cut) {
            ExpectSame(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(cut)),
                       block + 16, "cut encoder chunk");
        }
    }
    EXPECT_EQ(decoded, 24);
}

TEST(EntropyDifferential, RandomValidCodesAndTheirDamage) {
    std::mt19937 rng(2);
    int valid = 0;
    for (int round = 0; round < 400; ++round) {
        const Description d = RandomDescription(rng);
        // Every eighth stream is long enough for the decoder to work on two parts of it at once.
        const size_t size = round % 8 == 0 ? 8192 + rng() % 40000 : 1 + rng() % 3000;
        const Bytes data = RandomData(rng, d, size);
        const auto declared = static_cast<int32_t>(data.size());
        const Bytes body = Encode(d, data, declared);
        const std::string what = "code " + std::to_string(round);
        if (ExpectSame(body, declared, what) == declared) ++valid;
        ExpectSame(body, declared - 1, what + ", capacity one short");
        ExpectSame(Encode(d, data, declared + 1), declared + 1, what + ", one code missing");
        ExpectSame(Encode(d, data, 0), declared, what + ", declared 0");
        ExpectSame(Encode(d, data, -declared), declared, what + ", declared negative");
        Bytes damaged = body;
        for (int flips = 0; flips < 3; ++flips) {
            damaged[4 + rng() % (damaged.size() - 4)] ^= static_cast<uint8_t>(1u << (rng() % 8));
            ExpectSame(damaged, declared, what + ", bits flipped");
        }
        Bytes cut = body;
        cut.resize(4 + rng() % (body.size() - 4));
        ExpectSame(cut, declared, what + ", cut");
    }
    EXPECT_EQ(valid, 400);  // the generator's codes are all valid
}

TEST(EntropyDifferential, RandomBytes) {
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        Bytes body(4 + rng() % 600);
        for (auto& b : body) b = static_cast<uint8_t>(rng());
        // Small declared lengths and small group counts, else nearly every body fails early.
        body[0] = static_cast<uint8_t>(rng() % 64);
        body[1] = body[2] = body[3] = 0;
        if (body.size() > 4) body[4] = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : rng() % 6);
        ExpectSame(body, 1 + static_cast<int32_t>(rng() % 128), "random body");
    }
}

// Hand-made bodies for the corners of the format.
TEST(EntropyDifferential, Corners) {
    const Bytes text = {'p', 'a', 'c', 'k', 'e', 'd', 0, 0xFF, 0x80};
    const auto n = static_cast<int32_t>(text.size());
    // Identity code (stored chunks): exact, one byte short, and with the stream too short.
    const Bytes stored = TestBits().Put(1, 8).Put(8, 8).Bytes(text).Body(n);
    ExpectSame(stored, n, "identity");
    ExpectSame(stored, n - 1, "identity over capacity");
    ExpectSame(TestBits().Put(1, 8).Put(8, 8).Bytes(text).Body(n + 1), n + 1, "identity short");
    // One group shorter and longer than a byte.
    ExpectSame(TestBits().Put(1, 8).Put(7, 8).Bytes(text).Body(n), n, "one group of 7");
    TestBits nine = TestBits().Put(1, 8).Put(9, 8);
    for (uint8_t b : text) nine.Put(b, 9);
    ExpectSame(nine.Body(n), n, "one group of 9");
    // No groups at all.
    for (int32_t declared : {0, -5, 1}) {
        ExpectSame(TestBits().Put(0, 8).Body(declared), 16, "no groups");
    }
    // The last group holding every other byte value with codes of 9, 20 and 30 bits (a step of
    // more than 25 bits is not valid, so the 30-bit codes come after a group of 20).
    for (const std::vector<int>& lengths :
         {std::vector<int>{1, 9}, std::vector<int>{1, 20}, std::vector<int>{1, 20, 30}}) {
        Description d;
        d.lengths = lengths;
        const int last = static_cast<int>(lengths.size()) - 1;
        for (size_t b = 0; b < 256; ++b) d.group_of[b] = b == 'a' ? 0 : (b == 1 ? 1 : last);
        d.Number();
        const Bytes data = {'a', 1, 'a', 'a', 2, 3, 'a'};
        const auto count = static_cast<int32_t>(data.size());
        EXPECT_EQ(ExpectSame(Encode(d, data, count), count,
                             "longest code " + std::to_string(lengths.back())),
                  count);
    }
    // Stored chunks (identity code, stored mode), which the pipeline moves in one go: whole, over
    // capacity, with a stream too short, declared 0, 1 and negative.
    Bytes stored_mode = {0};
    stored_mode.insert(stored_mode.end(), text.begin(), text.end());
    for (int32_t declared : {n + 1, n, 2, 1, 0, -3}) {
        const Bytes body = TestBits().Put(1, 8).Put(8, 8).Bytes(stored_mode).Body(declared);
        ExpectSame(body, n + 1, "stored chunk, declared " + std::to_string(declared));
        ExpectSame(body, n, "stored chunk, one short, declared " + std::to_string(declared));
    }
    ExpectSame(TestBits().Put(1, 8).Put(8, 8).Bytes(stored_mode).Body(n + 2), n + 8,
               "stored chunk, stream short");
    // Codes of no bits: the last of three groups holds the one byte value, the others are empty
    // (index 3 is no group). With the last group empty as well nothing has a code.
    for (int value_group : {2, 3}) {
        TestBits zero = TestBits().Put(3, 8).Put(0, 8).Put(0, 8).Put(0, 8);
        for (int b = 0; b < 256; ++b)
            zero.Put(b == 'z' ? static_cast<uint32_t>(value_group) : 3, 2);
        for (int32_t declared : {1, 5000, 70000}) {
            ExpectSame(zero.Body(declared), 70000,
                       "codes of no bits in group " + std::to_string(value_group));
        }
    }
    // A pattern beyond the last group's codes: group 0 {0} as 0, group 1 {1} as 10, group 2
    // empty (so that index 3 can mean no group); 11 is no code.
    Description gap;
    gap.lengths = {1, 2, 2};
    for (size_t b = 0; b < 256; ++b) gap.group_of[b] = b == 0 ? 0 : (b == 1 ? 1 : 3);
    gap.Number();
    TestBits good = gap.Header().Put(0, 1).Put(2, 2).Put(0, 1);
    EXPECT_EQ(ExpectSame(good.Body(3), 3, "a code with no room after it"), 3);
    TestBits bad = gap.Header().Put(0, 1).Put(2, 2).Put(3, 2).Put(0, 1);
    EXPECT_LE(ExpectSame(bad.Body(4), 4, "pattern past the last group"), 0);
    // The same past the table's reach and in the fast part of the stream.
    TestBits long_bad = gap.Header();
    for (int i = 0; i < 400; ++i) long_bad.Put(i % 2 ? 0 : 2, i % 2 ? 1 : 2);
    long_bad.Put(3, 2);
    for (int i = 0; i < 400; ++i) long_bad.Put(0, 1);
    EXPECT_LE(ExpectSame(long_bad.Body(1000), 1000, "bad pattern in a long stream"), 0);
    // In a stream long enough to be decoded in two parts: the bad pattern in either part, or
    // past the declared length (where it must not matter).
    for (int bad_at : {3000, 15000, 19000}) {
        TestBits t = gap.Header();
        for (int i = 0; i < 20000; ++i) {
            if (i == bad_at) t.Put(3, 2);
            t.Put(i % 3 ? 0 : 2, i % 3 ? 1 : 2);
        }
        for (int32_t declared : {20000, 18000}) {
            const int32_t result = ExpectSame(
                t.Body(declared), 20000,
                "bad pattern at " + std::to_string(bad_at) + " of " + std::to_string(declared));
            EXPECT_EQ(result > 0, bad_at >= declared) << bad_at << " of " << declared;
        }
    }
    // Last code ending in the last bit, and followed by every count of spare bits.
    for (int spare = 0; spare < 8; ++spare) {
        TestBits t = gap.Header();
        for (int i = 0; i < 13 + spare; ++i) t.Put(0, 1);
        EXPECT_EQ(ExpectSame(t.Body(13 + spare), 13 + spare, "spare bits " + std::to_string(spare)),
                  13 + spare);
        ExpectSame(t.Body(14 + spare), 14 + spare, "one past the end " + std::to_string(spare));
    }
}

// A run-length stream of random items: literals, escaped escapes, short and long runs whose
// patterns may hold the escape byte. Returns the stream; `produced` gets its decoded length.
Bytes RandomRunLengthStream(std::mt19937& rng, size_t items, size_t& produced) {
    const auto escape = static_cast<uint8_t>(rng());
    Bytes stream = {1, escape};
    produced = 0;
    for (size_t i = 0; i < items; ++i) {
        const uint32_t pick = rng() % 8;
        if (pick < 4) {
            auto b = static_cast<uint8_t>(rng());
            if (b == escape) ++b;
            stream.push_back(b);
            produced += 1;
        } else if (pick == 4) {
            stream.insert(stream.end(), {escape, 0xFF});
            produced += 1;
        } else {
            const uint32_t pattern = 1 + rng() % 8;
            uint32_t descriptor = (pattern - 1) << 4 | rng() % 16;
            size_t repeats = (descriptor & 15) + 1;
            stream.insert(stream.end(), {escape, 0});
            if (pick == 7) {
                descriptor |= 0x80;
                if (descriptor == 0xFF) descriptor = 0xFE;
                const uint32_t extension = rng() % 4 == 0 ? 255 : rng() % 8;
                stream.push_back(static_cast<uint8_t>(extension));
                repeats = extension * 15 + (descriptor & 15) + 16;
            }
            stream[stream.size() - (pick == 7 ? 2 : 1)] = static_cast<uint8_t>(descriptor);
            for (uint32_t k = 0; k < pattern; ++k) {
                stream.push_back(rng() % 4 == 0 ? escape : static_cast<uint8_t>(rng()));
            }
            produced += pattern * repeats;
        }
    }
    return stream;
}

int32_t ExpectSameRuns(const Bytes& stream, int32_t capacity, const std::string& what) {
    const Outcome want = Run(ReferenceRunLengthDecode, stream, capacity);
    const Outcome got = Run(RunLengthDecode, stream, capacity);
    EXPECT_EQ(got.result, want.result) << what;
    EXPECT_TRUE(got.output == want.output) << what << ": bytes differ";
    // The same stream behind the identity code, as the pipeline meets it.
    const auto n = static_cast<int32_t>(stream.size());
    ExpectSamePipeline(TestBits().Put(1, 8).Put(8, 8).Bytes(stream).Body(n), capacity, what);
    return want.result;
}

TEST(RunLengthDifferential, RandomStreamsAtAndAroundTheirSize) {
    std::mt19937 rng(4);
    int decoded = 0;
    for (int round = 0; round < 500; ++round) {
        size_t produced = 0;
        const Bytes stream = RandomRunLengthStream(rng, 1 + rng() % 60, produced);
        const auto size = static_cast<int32_t>(produced);
        const std::string what = "stream " + std::to_string(round);
        if (ExpectSameRuns(stream, size, what) == size) ++decoded;
        ExpectSameRuns(stream, size - 1 - static_cast<int32_t>(rng() % 20), what + ", small room");
        ExpectSameRuns(stream, size + 100, what + ", spare room");
        Bytes cut = stream;
        cut.resize(1 + rng() % stream.size());
        ExpectSameRuns(cut, size, what + ", cut");
        Bytes damaged = stream;
        damaged[1 + rng() % (damaged.size() - 1)] = static_cast<uint8_t>(rng());
        ExpectSameRuns(damaged, size + 50, what + ", one byte changed");
    }
    EXPECT_EQ(decoded, 500);
}

}  // namespace
