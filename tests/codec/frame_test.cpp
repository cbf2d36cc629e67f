// Chunks whose run-length stage holds a zstd frame: they come back byte for byte however the
// entropy stage describes them, the standard tool reads their frames, and every frame but the one
// kind the writer makes is a failed chunk.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/entropy_encode.h"
#include "codec/frame_encode.h"
#include "codec/run_length_decode.h"
#include "tests/codec/codec_test_data.h"
#include "tests/codec/codec_test_support.h"

namespace {

using namespace codec_test;
using Bytes = std::vector<uint8_t>;

int32_t Decode(uint8_t* b, int32_t n, int32_t c) {
    return ChunkDecoder().Decode(b, n, c);
}

// The run-length stream of a body the writer made: the mode byte and the frame.
Bytes Stream(const Bytes& body) {
    return {body.begin() + 6, body.end()};
}

// The same stream behind the cheapest code the entropy stage has for it, not the flat one.
Bytes Coded(const Bytes& stream) {
    return WriteEntropyBody(PlanEntropyCode(CountBytes(stream.data(), stream.size())),
                            stream.data(), stream.size());
}

Bytes Flat(const Bytes& stream) {
    return WriteEntropyBody(IdentityPlan(ByteCounts{}), stream.data(), stream.size());
}

// A frame made by the library with the given parameters, as a run-length stream.
Bytes LibraryStream(const Bytes& data, bool content_size, bool checksum) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, content_size ? 1 : 0);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, checksum ? 1 : 0);
    Bytes stream(1 + ZSTD_compressBound(data.size()));
    stream[0] = 2;
    const size_t n = ZSTD_compress2(context, stream.data() + 1, stream.size() - 1, data.data(),
                                    data.size());
    ZSTD_freeCCtx(context);
    stream.resize(1 + n);
    return stream;
}

TEST(FrameChunks, RoundTripEveryKindAtSeveralLevelsAndBlockSizes) {
    const std::vector<std::pair<const char*, Bytes>> kinds = {
        {"text", TextLike(300000, 1)},
        {"skewed", SkewedBytes(300000, 2)},
        {"runs", RunHeavy(300000, 3)},
        {"random", RandomBytes(300000, 4)}};
    for (const int32_t block : {1024, 65536, 300000}) {
        for (const int level : {1, 3, 19}) {
            FrameEncoder encoder(level);
            for (const auto& [kind, data] : kinds) {
                SCOPED_TRACE(std::string(kind) + " block " + std::to_string(block) + " level " +
                             std::to_string(level));
                const size_t size = std::min<size_t>(data.size(), static_cast<size_t>(block));
                const Bytes piece(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
                const Bytes body = encoder.Encode(piece.data(), size, block);
                if (body.empty()) {
                    // A frame of noise is longer than the chunk limit: the writer stores it.
                    EXPECT_STREQ(kind, "random");
                    continue;
                }
                EXPECT_EQ(FrameEncoder(level).Encode(piece.data(), size, block), body)
                    << "deterministic, whatever the context did before";
                for (const Bytes& form : {body, Coded(Stream(body))}) {
                    const auto r = RunStage(Decode, form, block + 16);
                    ASSERT_EQ(r.result, static_cast<int32_t>(size));
                    EXPECT_TRUE(r.Output() == piece);
                }
                // The run-length stage alone, in place.
                const auto r = RunStage(RunLengthDecode, Stream(body), block + 16);
                EXPECT_TRUE(r.Output() == piece);
            }
        }
    }
}

TEST(FrameChunks, TheZstdToolDecodesAChunksFrame) {
    const Bytes piece = TextLike(100000, 9);
    const Bytes body = FrameEncoder(19).Encode(piece.data(), piece.size(), 100000);
    const auto dir = std::filesystem::temp_directory_path();
    const auto frame = dir / ("filespack-frame-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".zst");
    const auto out = std::filesystem::path(frame).replace_extension(".out");
    std::ofstream(frame, std::ios::binary).write(reinterpret_cast<const char*>(body.data() + 7),
                                                 static_cast<std::streamsize>(body.size() - 7));
    const std::string command =
        "zstd -q -d -f -o '" + out.string() + "' '" + frame.string() + "' 2>/dev/null";
    if (std::system("zstd --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zstd tool";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(out, std::ios::binary);
    const Bytes decoded{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(decoded == piece);
    std::filesystem::remove(frame);
    std::filesystem::remove(out);
}

TEST(FrameChunks, EveryOtherFrameFailsTheChunk) {
    const Bytes data = TextLike(5000, 3);
    const Bytes good = Stream(FrameEncoder(3).Encode(data.data(), data.size(), 8192));
    auto changed = [&](size_t at, uint8_t value) {
        Bytes s = good;
        s[at] = value;
        return s;
    };
    auto with = [&](Bytes s, const Bytes& more) {
        s.insert(s.end(), more.begin(), more.end());
        return s;
    };
    // good[5] is the frame header's descriptor (single segment, two content-size bytes).
    const uint8_t descriptor = good[5];
    const struct {
        const char* what;
        Bytes stream;
        int32_t capacity;
    } cases[] = {
        {"content size above the capacity", good, 4096},
        {"content size one short", changed(6, static_cast<uint8_t>(good[6] - 1)), 8192},
        {"content size one over", changed(6, static_cast<uint8_t>(good[6] + 1)), 8192},
        {"no content size", LibraryStream(data, false, false), 8192},
        {"a checksum", LibraryStream(data, true, true), 8192},
        {"a dictionary id", changed(5, static_cast<uint8_t>(descriptor | 1)), 8192},
        {"the reserved bit", changed(5, static_cast<uint8_t>(descriptor | 8)), 8192},
        // Not a single segment: a window descriptor of 2^20 bytes where the content size was.
        {"a window larger than the capacity", changed(5, static_cast<uint8_t>(descriptor & ~0x20)),
         8192},
        {"truncated", Bytes(good.begin(), good.end() - 1), 8192},
        {"trailing bytes", with(good, {0}), 8192},
        {"a second frame", with(good, Bytes(good.begin() + 1, good.end())), 16384},
        {"a skippable frame", with({2, 0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0}, {}), 8192},
        {"a skippable frame first", with({2, 0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0},
                                         Bytes(good.begin() + 1, good.end())), 8192},
        {"a legacy frame", changed(1, 0x27), 8192},
        {"the mode byte alone", {2}, 8192},
    };
    for (const auto& c : cases) {
        for (const Bytes& body : {Flat(c.stream), Coded(c.stream)}) {
            const auto r = RunStage(Decode, body, c.capacity);
            EXPECT_LE(r.result, 0) << c.what;
        }
        EXPECT_EQ(RunStage(RunLengthDecode, c.stream, c.capacity).result, -1) << c.what;
    }
    // The unchanged frame decodes at its size's capacity exactly.
    EXPECT_EQ(RunStage(Decode, Flat(good), 5000).result, 5000);
}

}  // namespace
