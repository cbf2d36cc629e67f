// What the writer makes, the extractor gives back: bytes, times and attributes; and what the
// extractor would refuse, the writer does not write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "failing_allocation.h"
#include "package/integrity_record.h"
#include "package/package_extractor.h"
#include "package/package_writer.h"
#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"
#include "codec/stream_encode.h"
#include "test_support.h"
#include "tests/codec/reference_pipeline.h"

namespace {

constexpr int32_t BLOCK = 1024;
constexpr FileTime T1 = 130000000000000000ULL;
constexpr FileTime T2 = 131000000000000000ULL;
constexpr FileTime T3 = 132000000000000001ULL;  // 100 ns past a whole microsecond

struct TempFile {
    TempFile() : file(std::tmpfile()) {}
    ~TempFile() {
        if (file != nullptr) std::fclose(file);
    }
    std::vector<uint8_t> Contents() const {
        std::vector<uint8_t> bytes;
        std::rewind(file);
        uint8_t chunk[4096];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }
    std::FILE* file;
};

std::string Mixed(size_t size) {
    std::string data(size, '\0');
    uint32_t seed = 7;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        // Stretches of runs between stretches of noise, so both chunk forms occur.
        data[i] = (i / 700) % 2 == 0 ? static_cast<char>('a' + (i / 50) % 3)
                                     : static_cast<char>(seed >> 24);
    }
    return data;
}

struct Sample {
    std::string name;
    std::string data;
    uint32_t attributes;
};

std::vector<Sample> Samples() {
    return {{"empty", "", ATTRIBUTE_ARCHIVE},
            {"one", "1", ATTRIBUTE_ARCHIVE},
            {Sjis("表.txt"), Mixed(BLOCK), ATTRIBUTE_READONLY | ATTRIBUTE_ARCHIVE},
            {Sjis("ソフト"), Mixed(BLOCK + 1), ATTRIBUTE_NORMAL},
            {Sjis("予定表の大きい.bin"), Mixed(BLOCK * 9 + 17), ATTRIBUTE_ARCHIVE},
            {"zeros", std::string(BLOCK * 3, '\0'), ATTRIBUTE_ARCHIVE}};
}

std::string Noise(size_t size) {
    std::string data(size, '\0');
    uint32_t seed = 11;
    for (char& c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

// Words: what a frame makes far smaller than the classic code.
std::string Words(size_t size) {
    static const char* const kWords[] = {"setup ", "install ", "folder ", "version ", "file "};
    std::string data;
    uint32_t seed = 5;
    while (data.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        data += kWords[(seed >> 24) % 5];
    }
    data.resize(size);
    return data;
}

std::vector<uint8_t> Write(const std::vector<Sample>& samples,
                           ChunkMethod method = ChunkMethod::classic) {
    TempFile out;
    PackageWriter writer(out.file, BLOCK);
    writer.SetMethod(method, DefaultLevel(method));
    uint64_t total = 0;
    for (const Sample& sample : samples) total += sample.data.size();
    writer.SetStreamTotal(total);
    for (const Sample& sample : samples) {
        PackageEntryHead head;
        head.name = sample.name;
        head.attributes = sample.attributes;
        head.times = {T1, T2, T3};
        EXPECT_TRUE(writer.AddFile(head, reinterpret_cast<const uint8_t*>(sample.data.data()),
                                   sample.data.size()))
            << writer.error();
    }
    EXPECT_TRUE(writer.Finish()) << writer.error();
    return out.Contents();
}

TEST(WriterRoundTrip, FilesComeBackByteForByteWithTimesAndAttributes) {
    const std::vector<Sample> samples = Samples();
    const std::vector<uint8_t> package = Write(samples);
    EXPECT_EQ(package, Write(samples)) << "output must be deterministic";

    ScratchFolder folder;
    PackageExtractor engine;
    ExtractResult result{};
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 1)
        << result.message;
    EXPECT_EQ(result.file_count, static_cast<int32_t>(samples.size()));
    EXPECT_EQ(result.byte_count, static_cast<int32_t>(package.size()));
    for (const Sample& sample : samples) {
        const FileFacts facts = folder.Facts(sample.name);
        ASSERT_TRUE(facts.exists) << sample.name;
        EXPECT_TRUE(facts.bytes == sample.data) << sample.name;
        EXPECT_EQ(facts.read_only, (sample.attributes & ATTRIBUTE_READONLY) != 0) << sample.name;
        EXPECT_EQ(facts.last_access, T2) << sample.name;
        EXPECT_EQ(facts.last_write, T3) << sample.name;
    }
}

TEST(WriterRoundTrip, CreationTimeComesBackWhereTheFileSystemKeepsOne) {
    if (!SystemKeepsCreationTimes()) {
        GTEST_SKIP() << "this file system keeps no creation time that can be set";
    }
    const std::vector<Sample> samples = Samples();
    const std::vector<uint8_t> package = Write(samples);
    ScratchFolder folder;
    PackageExtractor engine;
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), nullptr), 1);
    for (const Sample& sample : samples) EXPECT_EQ(folder.Facts(sample.name).creation, T1);
}

TEST(WriterRoundTrip, PiecesAreBlockSizedChunks) {
    TempFile out;
    PackageWriter writer(out.file, BLOCK);
    const std::string data = Mixed(BLOCK * 2 + 5);
    ASSERT_TRUE(writer.AddFile({"f", ATTRIBUTE_ARCHIVE, {}},
                               reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    ASSERT_TRUE(writer.Finish());
    const std::vector<uint8_t> package = out.Contents();
    // Header, B, then name length, name, size, unit, and three chunks with a terminator.
    size_t at = 36 + 1 + 1 + 4 + 28;
    int chunks = 0;
    for (;;) {
        const int32_t length =
            static_cast<int32_t>(package.at(at) | package.at(at + 1) << 8 |
                                 package.at(at + 2) << 16 | package.at(at + 3) << 24);
        at += 4;
        if (length <= 0) break;
        EXPECT_LE(length, BLOCK + 16);
        at += static_cast<size_t>(length);
        ++chunks;
    }
    EXPECT_EQ(chunks, 3);
    // The end byte, then the integrity record, which ends the package.
    ASSERT_EQ(at + 1 + INTEGRITY_RECORD_SIZE, package.size());
    EXPECT_EQ(package[at], 0);
    EXPECT_TRUE(std::equal(std::begin(INTEGRITY_MARKER), std::end(INTEGRITY_MARKER),
                           package.begin() + static_cast<ptrdiff_t>(at + 1)));
    EXPECT_EQ(CheckIntegrity(package.data(), package.size()).verdict, IntegrityVerdict::VERIFIED);

    // Without the record the package ends at its end byte, as the plain format's writers make it.
    TempFile plain;
    PackageWriter plain_writer(plain.file, BLOCK);
    plain_writer.SetIntegrityRecord(false);
    ASSERT_TRUE(plain_writer.AddFile({"f", ATTRIBUTE_ARCHIVE, {}},
                                     reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    ASSERT_TRUE(plain_writer.Finish());
    const std::vector<uint8_t> unsealed = plain.Contents();
    EXPECT_EQ(unsealed.size() + INTEGRITY_RECORD_SIZE, package.size());
    EXPECT_EQ(unsealed.back(), 0);
    EXPECT_EQ(CheckIntegrity(unsealed.data(), unsealed.size()).verdict,
              IntegrityVerdict::NO_RECORD);
}

TEST(WriterRoundTrip, RefusesWhatCouldNotBeExtracted) {
    TempFile out;
    PackageWriter writer(out.file, BLOCK);
    const uint8_t byte = 'x';
    for (const std::string& name :
         {std::string(), std::string(256, 'n'), std::string(".."), std::string("a\\"),
          std::string("a\\..\\b"), std::string("a/b"), std::string("c:d"), std::string("CON.txt"), std::string("\x81"),
          std::string("\x85\x40"), std::string("ctl\x01")}) {
        EXPECT_FALSE(writer.AddFile({name, ATTRIBUTE_ARCHIVE, {}}, &byte, 1)) << name;
        EXPECT_FALSE(writer.error().empty());
    }
    ASSERT_TRUE(writer.AddFile({"good", ATTRIBUTE_ARCHIVE, {}}, &byte, 1)) << writer.error();
    EXPECT_TRUE(writer.error().empty());

    bool asked = false;
    auto never = [&](uint8_t*, size_t) {
        asked = true;
        return size_t{0};
    };
    EXPECT_FALSE(writer.AddFile({"huge", ATTRIBUTE_ARCHIVE, {}}, uint64_t{1} << 31, never));
    // The total, too, must stay below 2 GiB.
    EXPECT_FALSE(writer.AddFile({"huge", ATTRIBUTE_ARCHIVE, {}}, INT32_MAX, never));
    EXPECT_FALSE(asked);
    ASSERT_TRUE(writer.Finish()) << writer.error();

    ScratchFolder folder;
    const std::vector<uint8_t> package = out.Contents();
    PackageExtractor engine;
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), nullptr), 1);
    EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{"good"});
}

TEST(WriterRoundTrip, FailuresAreReported) {
    {
        TempFile out;
        PackageWriter writer(out.file, 1023);
        EXPECT_FALSE(writer.Finish());
        EXPECT_FALSE(writer.error().empty());
    }
    {
        // Nothing but empty files never extracts.
        TempFile out;
        PackageWriter writer(out.file, BLOCK);
        EXPECT_TRUE(writer.AddFile({"e", ATTRIBUTE_ARCHIVE, {}}, nullptr, 0));
        EXPECT_FALSE(writer.Finish());
    }
    {
        // A source that runs dry before its size.
        TempFile out;
        PackageWriter writer(out.file, BLOCK);
        int calls = 0;
        auto short_read = [&](uint8_t* buffer, size_t count) {
            if (calls++ > 0) return size_t{0};
            buffer[0] = 'a';
            return count > 0 ? size_t{1} : size_t{0};
        };
        EXPECT_FALSE(writer.AddFile({"short", ATTRIBUTE_ARCHIVE, {}}, 5000, short_read));
        EXPECT_FALSE(writer.error().empty());
        EXPECT_FALSE(writer.AddFile({"later", ATTRIBUTE_ARCHIVE, {}}, nullptr, 0));
        EXPECT_FALSE(writer.error().empty());
        EXPECT_FALSE(writer.Finish());
        EXPECT_FALSE(writer.error().empty());
    }
}

TEST(WriterRoundTrip, MemoryRunningOutOnAnEncoderThreadFailsTheFileNotTheProcess) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "the writer encodes on one thread";
    std::vector<uint8_t> data(8 * BLOCK);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 % 251);
    TempFile out;
    PackageWriter writer(out.file, BLOCK);
    bool added = true;
    {
        const FailingAllocationsElsewhere failing;
        added = writer.AddFile({"big", ATTRIBUTE_ARCHIVE, {}}, data.data(), data.size());
    }
    EXPECT_FALSE(added);
    EXPECT_EQ(writer.error(), "out of memory while encoding");
    EXPECT_FALSE(writer.Finish());
}

// What an older reader is: the engine with the frozen original decoders plugged in.
class ReferenceChunks : public ChunkSource {
  public:
    ReferenceChunks(const std::vector<uint8_t>& package, int32_t block)
        : package_(package), buffer_(static_cast<size_t>(block) + BUFFER_SLACK) {}
    int32_t DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                         const uint8_t** decoded) override {
        std::copy_n(package_.begin() + static_cast<std::ptrdiff_t>(offset), length, buffer_.begin());
        *decoded = buffer_.data();
        return ReferencePipeline(buffer_.data(), length, capacity);
    }

  private:
    const std::vector<uint8_t>& package_;
    std::vector<uint8_t> buffer_;
};

TEST(WriterRoundTrip, ZstdPackagesReadHereAndFailCleanlyInOlderReaders) {
    // Noise no frame makes smaller stays classic; text becomes frames.
    const std::vector<Sample> samples = {
        {"noise", Noise(BLOCK * 2), ATTRIBUTE_ARCHIVE},
        {"text", Words(BLOCK * 5), ATTRIBUTE_ARCHIVE},
        {"after", std::string(BLOCK, 'x'), ATTRIBUTE_ARCHIVE}};
    const std::vector<uint8_t> package = Write(samples, ChunkMethod::zstd);
    EXPECT_EQ(package, Write(samples, ChunkMethod::zstd)) << "output must be deterministic";
    EXPECT_LT(package.size(), Write(samples).size());

    ScratchFolder folder;
    PackageExtractor engine;
    ExtractResult result{};
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 1)
        << result.message;
    for (const Sample& sample : samples) EXPECT_TRUE(folder.Facts(sample.name).bytes == sample.data);

    folder.Empty();
    ReferenceChunks older(package, BLOCK);
    engine.SetChunkSource(&older);
    EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 0);
    EXPECT_STREQ(result.message, Sjis("解凍エラー！ text").c_str());
    EXPECT_TRUE(folder.Facts("noise").bytes == samples[0].data);
    EXPECT_FALSE(folder.Facts("after").exists);

    // Classic packages read in the older reader exactly as here.
    folder.Empty();
    const std::vector<uint8_t> classic = Write(samples);
    ReferenceChunks older_classic(classic, BLOCK);
    engine.SetChunkSource(&older_classic);
    ASSERT_EQ(engine.Extract(classic.data(), classic.size(), folder.dest().c_str(), &result), 1)
        << result.message;
    for (const Sample& sample : samples) EXPECT_TRUE(folder.Facts(sample.name).bytes == sample.data);
}

// What the frame-aware reader before stream chunks is: today's stages without a stream, so
// that mode 3 is an unknown mode to it.
class FrameAwareChunks : public ChunkSource {
  public:
    FrameAwareChunks(const std::vector<uint8_t>& package, int32_t block)
        : package_(package), buffer_(static_cast<size_t>(block) + BUFFER_SLACK) {}
    int32_t DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                         const uint8_t** decoded) override {
        std::copy_n(package_.begin() + static_cast<std::ptrdiff_t>(offset), length, buffer_.begin());
        *decoded = buffer_.data();
        const int32_t produced = EntropyDecode(buffer_.data(), length, capacity);
        if (produced <= 0) return produced;
        return RunLengthDecode(buffer_.data(), produced, capacity);
    }

  private:
    const std::vector<uint8_t>& package_;
    std::vector<uint8_t> buffer_;
};

TEST(WriterRoundTrip, StreamPackagesReadHereAndFailCleanlyInOlderReaders) {
    std::vector<Sample> samples = Samples();  // empty and one-byte files among larger ones
    samples.push_back({"empty too", "", ATTRIBUTE_ARCHIVE});
    samples.push_back({"text", Words(BLOCK * 20), ATTRIBUTE_ARCHIVE});
    samples.push_back({"noise", Noise(BLOCK * 3), ATTRIBUTE_ARCHIVE});
    samples.push_back({"again", Words(BLOCK * 20), ATTRIBUTE_ARCHIVE});
    const std::vector<uint8_t> package = Write(samples, ChunkMethod::stream);
    EXPECT_EQ(package, Write(samples, ChunkMethod::stream)) << "output must be deterministic";
    EXPECT_LT(package.size(), Write(samples, ChunkMethod::zstd).size());

    ScratchFolder folder;
    PackageExtractor engine;
    ExtractResult result{};
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 1)
        << result.message;
    for (const Sample& sample : samples) EXPECT_TRUE(folder.Facts(sample.name).bytes == sample.data);

    // Both older readers: the first file with bytes fails, none after it is created.
    ReferenceChunks reference(package, BLOCK);
    FrameAwareChunks frame_aware(package, BLOCK);
    for (ChunkSource* older : std::vector<ChunkSource*>{&reference, &frame_aware}) {
        folder.Empty();
        engine.SetChunkSource(older);
        EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 0);
        EXPECT_STREQ(result.message, Sjis("解凍エラー！ one").c_str());
        EXPECT_EQ(folder.Facts("one").bytes, "");
        EXPECT_TRUE(folder.Facts("empty").exists);
        for (size_t i = 2; i < samples.size(); ++i) EXPECT_FALSE(folder.Facts(samples[i].name).exists);
    }
}

TEST(WriterRoundTrip, AStreamPackageOfOneChunk) {
    const std::vector<Sample> samples = {{"a", "x", ATTRIBUTE_ARCHIVE}};
    const std::vector<uint8_t> package = Write(samples, ChunkMethod::stream);
    ScratchFolder folder;
    ExtractResult result{};
    ASSERT_EQ(PackageExtractor().Extract(package.data(), package.size(), folder.dest().c_str(),
                                         &result),
              1)
        << result.message;
    EXPECT_EQ(folder.Facts("a").bytes, "x");
}

TEST(WriterRoundTrip, AStreamNeedsItsTotalAndExactlyItsTotal) {
    const std::string data = Words(5000);
    for (const uint64_t total : {uint64_t{4999}, uint64_t{5001}}) {
        TempFile out;
        PackageWriter writer(out.file, BLOCK);
        writer.SetMethod(ChunkMethod::stream, 3);
        writer.SetStreamTotal(total);
        const bool added = writer.AddFile({"a", ATTRIBUTE_ARCHIVE, {}},
                                          reinterpret_cast<const uint8_t*>(data.data()), data.size());
        EXPECT_FALSE(added && writer.Finish()) << total;
    }
}

// Stream chunks the writer would never lay out so, each in a package the engine refuses at the
// file that shows it, with nothing created after it.
TEST(StreamPackage, HostileLayoutsFailAtTheFileThatShowsThem) {
    const std::string text = Words(2700);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    StreamEncoder encoder(3, 2700, BLOCK);
    std::vector<std::vector<uint8_t>> bodies;
    for (size_t at = 0; at < 2700; at += 900) bodies.push_back(encoder.Encode(bytes + at, 900));
    ASSERT_EQ(encoder.remaining(), 0u);
    struct Case {
        const char* name;
        std::vector<int> chunks;  // per file: the index of its one chunk (-1: a stored chunk)
        const char* failing;      // null: extracts
    };
    const std::vector<Case> cases = {
        {"the writer's own", {0, 1, 2}, nullptr},
        {"the last chunk missing: the frame runs on", {0, 1}, "f1"},
        {"a stored chunk between stream chunks", {0, -1, 1, 2}, "f1"},
        {"a stored chunk after the frame ended", {0, 1, 2, -1}, nullptr},
        {"a stream chunk after the frame ended", {0, 1, 2, 1}, "f3"},
        {"a chunk left out in the middle", {0, 2}, "f1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PackageBuilder builder(BLOCK);
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const std::string name = "f" + std::to_string(i);
            if (c.chunks[i] < 0) {
                builder.StoredFile(name, "stored");
                continue;
            }
            builder.Entry(name, 900).Chunk(bodies[static_cast<size_t>(c.chunks[i])]).Terminator();
        }
        const std::vector<uint8_t> package = builder.Finish();
        ScratchFolder folder;
        ExtractResult result{};
        const int extracted =
            PackageExtractor().Extract(package.data(), package.size(), folder.dest().c_str(), &result);
        if (c.failing == nullptr) {
            EXPECT_EQ(extracted, 1) << result.message;
            continue;
        }
        EXPECT_EQ(extracted, 0);
        EXPECT_EQ(std::string(result.message), Sjis("解凍エラー！ ") + c.failing);
        const int failing = c.failing[1] - '0';
        for (size_t i = static_cast<size_t>(failing) + 1; i < c.chunks.size(); ++i) {
            EXPECT_FALSE(folder.Facts("f" + std::to_string(i)).exists) << i;
        }
    }
}

}  // namespace
