// Stream chunks: a package's pieces of one zstd frame, decoded in order by one decoder. They come
// back byte for byte however they are cut and coded, the standard tool reads their frame, and
// every stream but the one kind the writer makes fails at the first chunk that shows it, with
// every later piece failing too.
#include <gtest/gtest.h>
#include <zstd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "codec/entropy_encode.h"
#include "codec/frame_encode.h"
#include "codec/run_length_decode.h"
#include "codec/stream_encode.h"
#include "tests/codec/codec_test_data.h"

namespace {

using namespace codec_test;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kBlock = 65536;
constexpr int32_t kCapacity = kBlock + CHUNK_CAPACITY_SLACK;

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Cuts `data` into pieces of the given sizes, then the rest in the largest pieces a chunk holds.
std::vector<Bytes> Cut(const Bytes& data, const std::vector<size_t>& sizes) {
    std::vector<Bytes> pieces;
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t want = i < sizes.size() ? sizes[i] : StreamPieceLimit(kBlock);
        const size_t n = std::min(want, data.size() - at);
        pieces.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                            data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    return pieces;
}

std::vector<Bytes> Encode(const std::vector<Bytes>& pieces, int level = 3) {
    StreamEncoder encoder(level, Concat(pieces).size(), kBlock);
    std::vector<Bytes> bodies;
    for (const Bytes& piece : pieces) {
        bodies.push_back(encoder.Encode(piece.data(), piece.size()));
        EXPECT_FALSE(bodies.back().empty());
    }
    EXPECT_EQ(encoder.remaining(), 0u);
    return bodies;
}

// A body behind the identity code holding `payload` in `mode`.
Bytes FlatBody(uint8_t mode, const Bytes& payload) {
    Bytes body(CHUNK_HEAD_SIZE + payload.size());
    PutFlatHead(body.data(), mode, payload.size());
    std::copy(payload.begin(), payload.end(), body.begin() + CHUNK_HEAD_SIZE);
    return body;
}

std::vector<Bytes> Concat2(const std::vector<Bytes>& a, const std::vector<Bytes>& b) {
    std::vector<Bytes> all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

Bytes Payload(const Bytes& body) {
    return {body.begin() + static_cast<std::ptrdiff_t>(CHUNK_HEAD_SIZE), body.end()};
}

// The same run-length stream behind the cheapest code the entropy stage has, not the flat one.
Bytes Coded(const Bytes& body) {
    const Bytes stream(body.begin() + 6, body.end());
    return WriteEntropyBody(PlanEntropyCode(CountBytes(stream.data(), stream.size())),
                            stream.data(), stream.size());
}

// What one extraction's decoder makes of the bodies, in order: each chunk's result, and the
// output of those that succeeded.
struct Decoded {
    std::vector<int32_t> results;
    Bytes output;
    bool open_at_end = false;
    int FirstFailure() const {
        for (size_t i = 0; i < results.size(); ++i) {
            if (results[i] <= 0) return static_cast<int>(i);
        }
        return -1;
    }
};

// Both ways of asking, side by side: decoded into the buffer, and left where the decoder has
// them (as the engine asks). They must agree on every chunk.
Decoded DecodeAll(const std::vector<Bytes>& bodies) {
    ChunkDecoder decoder;
    ChunkDecoder in_place;
    Decoded decoded;
    for (const Bytes& body : bodies) {
        Bytes buffer = body;
        buffer.resize(std::max<size_t>(body.size(), kCapacity) + CHUNK_BUFFER_SLACK, 0xA5);
        Bytes second = buffer;
        const int32_t n = decoder.Decode(buffer.data(), static_cast<int32_t>(body.size()), kCapacity);
        const uint8_t* at = nullptr;
        const int32_t m =
            in_place.Decode(second.data(), static_cast<int32_t>(body.size()), kCapacity, &at);
        EXPECT_EQ(m, n);
        decoded.results.push_back(n);
        if (n > 0) {
            decoded.output.insert(decoded.output.end(), buffer.begin(), buffer.begin() + n);
            EXPECT_TRUE(m == n && std::equal(at, at + n, buffer.begin())) << "the bytes differ";
        }
    }
    decoded.open_at_end = decoder.StreamOpen();
    EXPECT_EQ(in_place.StreamOpen(), decoded.open_at_end);
    return decoded;
}

// A stream made by the library with chosen parameters, flushed at the given piece ends, as
// stream chunk payloads: what a writer other than ours could make.
struct LibraryParameters {
    int window_log = 0;  // 0: the library's choice
    bool checksum = false;
    bool content_size = true;
};

std::vector<Bytes> LibraryPayloads(const std::vector<Bytes>& pieces, LibraryParameters p) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, p.checksum ? 1 : 0);
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, p.content_size ? 1 : 0);
    if (p.window_log != 0) ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, p.window_log);
    if (p.content_size) ZSTD_CCtx_setPledgedSrcSize(context, Concat(pieces).size());
    std::vector<Bytes> payloads;
    for (size_t i = 0; i < pieces.size(); ++i) {
        Bytes out(ZSTD_compressBound(pieces[i].size()) + 64);
        ZSTD_inBuffer in{pieces[i].data(), pieces[i].size(), 0};
        ZSTD_outBuffer o{out.data(), out.size(), 0};
        const auto mode = i + 1 == pieces.size() ? ZSTD_e_end : ZSTD_e_flush;
        while (ZSTD_compressStream2(context, &o, &in, mode) != 0) {
        }
        out.resize(o.pos);
        payloads.push_back(out);
    }
    ZSTD_freeCCtx(context);
    return payloads;
}

std::vector<Bytes> Bodies(const std::vector<Bytes>& payloads) {
    std::vector<Bytes> bodies;
    for (const Bytes& payload : payloads) bodies.push_back(FlatBody(RUN_LENGTH_STREAM, payload));
    return bodies;
}

TEST(StreamChunks, RoundTripsHoweverThePackageIsCut) {
    const Bytes mixed = Concat({TextLike(90000, 1), RandomBytes(70000, 2), RunHeavy(50000, 3),
                                BinaryLike(60000, 4), TextLike(30000, 1)});
    struct Case {
        const char* name;
        Bytes data;
        std::vector<size_t> cuts;
    };
    const size_t limit = StreamPieceLimit(kBlock);
    const std::vector<Case> cases = {
        {"a single chunk", TextLike(20000, 5), {}},
        {"one byte", Bytes{42}, {}},
        {"one-byte pieces among large ones", mixed, {1, limit, 1, 1, 5000, limit}},
        {"full pieces", mixed, std::vector<size_t>(20, limit)},
        {"noise in full pieces", RandomBytes(3 * limit, 6), std::vector<size_t>(3, limit)},
        {"file boundaries inside the window", mixed, {12345, 40000, 777, 65000, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Bytes> pieces = Cut(c.data, c.cuts);
        const std::vector<Bytes> bodies = Encode(pieces);
        for (const Bytes& body : bodies) EXPECT_LE(body.size(), static_cast<size_t>(kCapacity));
        EXPECT_EQ(Encode(pieces), bodies) << "deterministic";
        const Decoded flat = DecodeAll(bodies);
        EXPECT_EQ(flat.FirstFailure(), -1);
        EXPECT_TRUE(flat.output == c.data);
        EXPECT_FALSE(flat.open_at_end);

        // Whatever code the entropy stage puts in front, the pieces read the same.
        std::vector<Bytes> coded;
        for (const Bytes& body : bodies) coded.push_back(Coded(body));
        const Decoded through_codes = DecodeAll(coded);
        EXPECT_EQ(through_codes.FirstFailure(), -1);
        EXPECT_TRUE(through_codes.output == c.data);
    }
}

TEST(StreamChunks, AWindowSmallerThanThePackageReadsBack) {
    const Bytes data = Concat({TextLike(40000, 7), RandomBytes(9000, 8), TextLike(40000, 7)});
    const std::vector<Bytes> pieces = Cut(data, {30000, 30000});
    const Decoded decoded = DecodeAll(Bodies(LibraryPayloads(pieces, {.window_log = 10})));
    EXPECT_EQ(decoded.FirstFailure(), -1);
    EXPECT_TRUE(decoded.output == data);
}

TEST(StreamChunks, TheWindowIsTheSmallestPowerOfTwoThatHoldsThePackage) {
    EXPECT_EQ(StreamWindowLog(1), 10);
    EXPECT_EQ(StreamWindowLog(1024), 10);
    EXPECT_EQ(StreamWindowLog(1025), 11);
    EXPECT_EQ(StreamWindowLog(uint64_t{1} << 27), 27);
    EXPECT_EQ(StreamWindowLog(uint64_t{500} << 20), 27);
}

// Every level, for any package size, gets parameters the library takes (one it refused would
// leave the package unwritable), and what each level packs reads back.
TEST(StreamChunks, EveryLevelTakesItsParametersAndReadsBack) {
    const Bytes data = Concat({TextLike(60000, 21), BinaryLike(40000, 22), TextLike(20000, 21)});
    auto within = [](ZSTD_cParameter parameter, int value) {
        const ZSTD_bounds bounds = ZSTD_cParam_getBounds(parameter);
        return !ZSTD_isError(bounds.error) && bounds.lowerBound <= value &&
               value <= bounds.upperBound;
    };
    for (int level = MIN_STREAM_LEVEL; level <= MAX_STREAM_LEVEL; ++level) {
        SCOPED_TRACE(level);
        for (const uint64_t total :
             {uint64_t{1}, uint64_t{100000}, uint64_t{31} << 20, uint64_t{0x7FFFFFFF}}) {
            SCOPED_TRACE(total);
            const StreamParameters p = ChooseStreamParameters(level, total);
            EXPECT_TRUE(within(ZSTD_c_windowLog, p.window_log));
            EXPECT_TRUE(within(ZSTD_c_chainLog, p.chain_log));
            EXPECT_TRUE(within(ZSTD_c_hashLog, p.hash_log));
            EXPECT_TRUE(within(ZSTD_c_searchLog, p.search_log));
            EXPECT_TRUE(within(ZSTD_c_minMatch, p.min_match));
            EXPECT_TRUE(within(ZSTD_c_targetLength, p.target_length));
            EXPECT_TRUE(within(ZSTD_c_strategy, p.strategy));
            EXPECT_TRUE(within(ZSTD_c_ldmHashLog, p.ldm_hash_log));
            EXPECT_TRUE(within(ZSTD_c_ldmMinMatch, p.ldm_min_match));
            EXPECT_TRUE(within(ZSTD_c_ldmBucketSizeLog, p.ldm_bucket_size_log));
            EXPECT_TRUE(within(ZSTD_c_ldmHashRateLog, p.ldm_hash_rate_log));
            // The packer's memory: no tree larger than the largest level's own.
            EXPECT_LE(p.chain_log, 27);
        }
        const Decoded decoded = DecodeAll(Encode(Cut(data, {30000, 1, 50000}), level));
        EXPECT_EQ(decoded.FirstFailure(), -1);
        EXPECT_TRUE(decoded.output == data);
    }
}

// Each hostile stream, as chunk bodies, and the first chunk that must fail. Everything after a
// failure fails too, and a stream that is still open at the end is the package's failure.
TEST(StreamChunks, EveryOtherStreamFailsAtTheChunkThatShowsIt) {
    const Bytes data = Concat({TextLike(50000, 11), BinaryLike(50000, 12)});
    const std::vector<Bytes> pieces = Cut(data, {30000, 30000, 30000});
    const std::vector<Bytes> good = Encode(pieces);
    ASSERT_EQ(good.size(), 4u);
    const std::vector<Bytes> payloads = [&] {
        std::vector<Bytes> p;
        for (const Bytes& body : good) p.push_back(Payload(body));
        return p;
    }();
    const Bytes whole = Concat(payloads);

    struct Case {
        const char* name;
        std::vector<Bytes> bodies;
        int first_failure;  // -1: none, but open at the end
    };
    std::vector<Case> cases;
    {
        // The same frame cut 100 bytes later, and 100 bytes earlier: a piece that needs the next
        // chunk's bytes.
        const auto later = static_cast<std::ptrdiff_t>(payloads[0].size() + 100);
        cases.push_back({"split later than the pieces",
                         Bodies({Bytes(whole.begin(), whole.begin() + later),
                                 Bytes(whole.begin() + later, whole.end())}),
                         0});
        const auto earlier = static_cast<std::ptrdiff_t>(payloads[0].size() - 100);
        cases.push_back({"split earlier than the pieces",
                         Bodies({Bytes(whole.begin(), whole.begin() + earlier),
                                 Bytes(whole.begin() + earlier, whole.end())}),
                         0});
    }
    {
        const Bytes other = Payload(Encode({TextLike(100, 3)})[0]);
        cases.push_back({"a second frame after the first, in its last chunk",
                         Bodies({payloads[0], payloads[1], payloads[2], Concat({payloads[3], other})}),
                         3});
        cases.push_back({"a second frame in a chunk of its own",
                         Bodies({payloads[0], payloads[1], payloads[2], payloads[3], other}), 4});
    }
    cases.push_back({"a checksum", Bodies(LibraryPayloads(pieces, {.checksum = true})), 0});
    cases.push_back(
        {"no content size", Bodies(LibraryPayloads(pieces, {.content_size = false})), 0});
    {
        Bytes with_dictionary = payloads[0];
        with_dictionary[4] |= 0x01;  // a one-byte dictionary id follows the descriptor
        with_dictionary.insert(with_dictionary.begin() + 5, 7);
        cases.push_back({"a dictionary id",
                         Bodies({with_dictionary, payloads[1], payloads[2], payloads[3]}), 0});
    }
    {
        std::vector<Bytes> wide = LibraryPayloads(pieces, {.window_log = 10});
        ASSERT_EQ(wide[0][4] & 0x20, 0) << "a window descriptor, not a single segment";
        wide[0][5] = 18 << 3;  // 2^28 bytes
        cases.push_back({"a window above the limit", Bodies(wide), 0});
    }
    {
        Bytes larger = payloads[0];
        ASSERT_EQ(larger[4] >> 6, 2) << "a four-byte content size";
        larger[5] += 1;  // one byte more content than the pieces hold
        cases.push_back({"a content size the blocks do not fill",
                         Bodies({larger, payloads[1], payloads[2], payloads[3]}), 3});
    }
    {
        std::vector<Bytes> between = good;
        const ChunkEncoder classic;
        between.insert(between.begin() + 2, classic.Encode(data.data(), 1000, kBlock));
        cases.push_back({"a classic chunk between stream chunks", between, 2});
        std::vector<Bytes> frame_between = good;
        frame_between.insert(frame_between.begin() + 1,
                             FrameEncoder(3).Encode(data.data(), 20000, kBlock));
        cases.push_back({"a frame chunk between stream chunks", frame_between, 1});
    }
    {
        std::vector<Bytes> cut = good;
        cut.back().resize(cut.back().size() - 2);
        PutFlatHead(cut.back().data(), RUN_LENGTH_STREAM, cut.back().size() - CHUNK_HEAD_SIZE);
        cases.push_back({"a truncated last chunk", cut, 3});
    }
    {
        // More than a chunk holds, with the whole content in the decoder's own block (a single
        // segment) and in the library's window.
        const std::vector<Bytes> over = Cut(data, {kCapacity + 1000});
        cases.push_back({"a piece larger than a chunk, one block of content",
                         Bodies(LibraryPayloads(over, {})), 0});
        cases.push_back({"a piece larger than a chunk, the library's window",
                         Bodies(LibraryPayloads(over, {.window_log = 10})), 0});
        const std::vector<Bytes> all = Cut(data, {data.size()});
        cases.push_back({"the whole frame in one piece larger than a chunk",
                         Bodies(LibraryPayloads(all, {})), 0});
    }
    cases.push_back({"a piece after the frame ended", Concat2(good, {good[1]}), 4});
    cases.push_back({"the last chunk missing: the frame runs on",
                     std::vector<Bytes>(good.begin(), good.end() - 1), -1});
    cases.push_back({"the first chunk missing", std::vector<Bytes>(good.begin() + 1, good.end()), 0});
    cases.push_back({"an empty piece", Concat2({FlatBody(RUN_LENGTH_STREAM, {})}, good), 0});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = DecodeAll(c.bodies);
        EXPECT_EQ(decoded.FirstFailure(), c.first_failure);
        if (c.first_failure < 0) {
            EXPECT_TRUE(decoded.open_at_end);
            continue;
        }
        for (size_t i = static_cast<size_t>(c.first_failure); i < decoded.results.size(); ++i) {
            EXPECT_LE(decoded.results[i], 0) << "chunk " << i;
        }
    }
}

TEST(StreamChunks, APieceNeedsTheStreamBeforeIt) {
    const std::vector<Bytes> bodies = Encode(Cut(TextLike(40000, 13), {20000}));
    // A decoder that has not seen the first piece, and the run-length stage on its own.
    EXPECT_LE(DecodeAll({bodies[1]}).results[0], 0);
    Bytes stream(bodies[0].begin() + 6, bodies[0].end());
    stream.resize(stream.size() + kCapacity);
    EXPECT_EQ(RunLengthDecode(stream.data(), static_cast<int32_t>(bodies[0].size() - 6), kCapacity),
              -1);
}

TEST(StreamChunks, TheEncoderRefusesWhatWouldBreakThePackage) {
    const Bytes data = TextLike(5000, 14);
    {
        StreamEncoder encoder(3, 4000, kBlock);
        EXPECT_TRUE(encoder.Encode(data.data(), 5000).empty()) << "past the total";
        EXPECT_TRUE(encoder.Encode(data.data(), 10).empty()) << "and nothing after a failure";
    }
    {
        StreamEncoder encoder(3, data.size(), 1024);
        EXPECT_TRUE(encoder.Encode(data.data(), 1024).empty()) << "a piece over the limit";
    }
    EXPECT_LT(StreamPieceLimit(kBlock), static_cast<size_t>(kBlock));
}

// The payloads, each body less its first 7 bytes, concatenated, are one frame that the standard
// tool decodes to the pieces in order.
TEST(StreamChunks, TheZstdToolDecodesTheConcatenatedPayloads) {
    const Bytes data = Concat({TextLike(70000, 15), RandomBytes(20000, 16), Bytes{1}});
    const std::vector<Bytes> bodies = Encode(Cut(data, {40000, 1, 30000}), 19);
    Bytes frame;
    for (const Bytes& body : bodies) {
        const Bytes payload = Payload(body);
        frame.insert(frame.end(), payload.begin(), payload.end());
    }
    Bytes library(data.size());
    EXPECT_EQ(ZSTD_decompress(library.data(), library.size(), frame.data(), frame.size()),
              data.size());
    EXPECT_TRUE(library == data);

    if (std::system("zstd --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zstd tool";
    const auto dir = std::filesystem::temp_directory_path();
    const std::string seed = std::to_string(::testing::UnitTest::GetInstance()->random_seed());
    const auto in = dir / ("filespack-stream-" + seed + ".zst");
    const auto out = dir / ("filespack-stream-" + seed + ".out");
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    const std::string command =
        "zstd -q -d -f -o '" + out.string() + "' '" + in.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream decoded_file(out, std::ios::binary);
    const Bytes decoded{std::istreambuf_iterator<char>(decoded_file), {}};
    EXPECT_TRUE(decoded == data);
    std::filesystem::remove(in);
    std::filesystem::remove(out);
}

}  // namespace
