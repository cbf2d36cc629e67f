// Chunks decoded ahead on several threads: the same files, the same failures at the same place,
// and never more chunks in memory than the window allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "codec/chunk_decoder.h"
#include "tool_test_support.h"
#include "tools/filespack/reading/chunk_prefetcher.h"
#include "tools/filespack/reading/chunk_walker.h"
#include "tools/filespack/files/file_metadata.h"
#include "tools/filespack/files/file_names.h"

namespace {

constexpr int32_t kBlock = 1024;

// Everything extract leaves behind that a user could see.
struct ExtractedFile {
    std::vector<uint8_t> bytes;
    uint32_t attributes = 0;
    FileTime last_write = 0;
    bool operator==(const ExtractedFile&) const = default;
};
using Tree = std::map<std::string, ExtractedFile>;

Tree ReadTree(const std::filesystem::path& folder) {
    Tree tree;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        ExtractedFile file;
        FileMetadata metadata;
        std::string error;
        EXPECT_TRUE(ReadFileMetadata(item.path(), metadata, error)) << error;
        file.attributes = metadata.attributes;
        file.last_write = metadata.times.last_write;
        file.bytes = ReadBytes(item.path());
        tree[PathToUtf8(item.path().filename())] = std::move(file);
    }
    return tree;
}

// Many files around the block size, empty ones among them, and one that spans 60 chunks.
std::vector<std::pair<std::string, size_t>> SampleFiles() {
    std::vector<std::pair<std::string, size_t>> files = {
        {"a-empty.txt", 0},      {"b-one.bin", 1},
        {"c-block.bin", kBlock}, {"d-span.bin", 60 * kBlock + 17},
        {"e-empty.txt", 0},      {"f-over.bin", kBlock + 1},
    };
    for (int i = 0; i < 30; ++i) {
        files.emplace_back("g-" + std::to_string(100 + i) + ".dat",
                           static_cast<size_t>(i * 397 % 5000));
    }
    return files;
}

class ParallelExtract : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ / "in");
        uint32_t seed = 7;
        for (const auto& [name, size] : SampleFiles()) {
            WriteBytes(dir_ / ("in/" + name), PatternBytes(size, seed++));
        }
        MakeReadOnly(dir_ / "in/b-one.bin");
        const ToolRun create = RunTool({"create", "-q", Package(), dir_.Arg("in"), "--block-size",
                                        std::to_string(kBlock), "--mtime", "2024-04-01"});
        ASSERT_EQ(create.code, 0) << create.err;
        package_ = ReadBytes(dir_ / "pkg.fpk");
    }

    std::string Package() const { return dir_.Arg("pkg.fpk"); }

    void Rewrite(const std::vector<uint8_t>& bytes) const { WriteBytes(dir_ / "pkg.fpk", bytes); }

    std::vector<ChunkRef> Chunks() const {
        ChunkWalker walker(package_);
        std::vector<ChunkRef> chunks;
        for (ChunkRef chunk; walker.Next(chunk);) chunks.push_back(chunk);
        return chunks;
    }

    struct Outcome {
        ToolRun run;
        Tree tree;
        std::string folder;
    };
    // Each run into a new folder.
    Outcome Extract(int threads) {
        const std::string folder = "out-" + std::to_string(++runs_);
        Outcome outcome;
        outcome.folder = dir_.Arg(folder);
        outcome.run = RunTool(
            {"extract", Package(), "-o", dir_.Arg(folder), "--threads", std::to_string(threads)});
        outcome.tree = ReadTree(dir_ / folder);
        // The folder's name is in the messages; nothing else may differ.
        const std::string shown = dir_.Arg(folder);
        for (std::string* text : {&outcome.run.out, &outcome.run.err}) {
            for (size_t at; (at = text->find(shown)) != std::string::npos;) {
                text->replace(at, shown.size(), "OUT");
            }
        }
        return outcome;
    }

    // One thread is the engine decoding in place; any other count must leave the same.
    void ExpectSameAsOneThread(std::initializer_list<int> thread_counts) {
        const Outcome one = Extract(1);
        for (const int threads : thread_counts) {
            const Outcome many = Extract(threads);
            EXPECT_EQ(many.run.code, one.run.code) << threads;
            EXPECT_EQ(many.run.out, one.run.out) << threads;
            EXPECT_EQ(many.run.err, one.run.err) << threads;
            EXPECT_TRUE(many.tree == one.tree) << threads << " threads left other files";
        }
    }

    ScratchDir dir_;
    std::vector<uint8_t> package_;
    int runs_ = 0;
};

TEST_F(ParallelExtract, SameFilesBytesAndAttributesWithAnyThreadCount) {
    const Outcome one = Extract(1);
    ASSERT_EQ(one.run.code, 0) << one.run.err;
    ASSERT_EQ(one.tree.size(), SampleFiles().size());
    EXPECT_TRUE(one.tree.at("a-empty.txt").bytes.empty());
    EXPECT_EQ(one.tree.at("d-span.bin").bytes, PatternBytes(60 * kBlock + 17, 10));
    EXPECT_NE(one.tree.at("b-one.bin").attributes & ATTRIBUTE_READONLY, 0u);
    ExpectSameAsOneThread({2, 3, 8});

    // Nothing is overwritten, however many threads decode.
    const ToolRun again = RunTool({"extract", Package(), "-o", one.folder, "-j", "8"});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;

    const ToolRun test = RunTool({"test", "-q", "-j", "4", Package()});
    EXPECT_EQ(test.code, 0) << test.err;
}

// Stream chunks continue one another: whatever the thread count, they are decoded in order on
// the engine's thread, and the files come out the same.
TEST_F(ParallelExtract, StreamPackagesGiveTheSameFilesWithAnyThreadCount) {
    const ToolRun create = RunTool({"create", "-q", Package(), dir_.Arg("in"), "--block-size",
                                    std::to_string(kBlock), "--mtime", "2024-04-01", "--method",
                                    "stream", "--level", "3"});
    ASSERT_EQ(create.code, 0) << create.err;
    package_ = ReadBytes(dir_ / "pkg.fpk");
    const Outcome one = Extract(1);
    ASSERT_EQ(one.run.code, 0) << one.run.err;
    EXPECT_EQ(one.tree.at("d-span.bin").bytes, PatternBytes(60 * kBlock + 17, 10));
    ExpectSameAsOneThread({2, 4});

    const std::vector<ChunkRef> chunks = Chunks();
    ChunkPrefetcher prefetcher(package_, 4);
    for (const ChunkRef& chunk : chunks) {
        const uint8_t* decoded = nullptr;
        ASSERT_GT(prefetcher.DecodedChunk(chunk.offset, chunk.length, kBlock + CHUNK_SLACK, &decoded), 0);
    }
    EXPECT_FALSE(prefetcher.StreamOpen());
    EXPECT_EQ(prefetcher.counters().decoded_here, static_cast<int64_t>(chunks.size()));
    EXPECT_EQ(prefetcher.counters().handed_over, 0);
}

TEST_F(ParallelExtract, CorruptChunkFailsAtTheSamePlaceAndWritesNothingAfterIt) {
    const std::vector<ChunkRef> chunks = Chunks();
    ASSERT_GT(chunks.size(), 60u);
    // A declared length beyond the capacity fails the chunk; the chunks after it are fine and
    // will have been decoded ahead, but must not be written.
    for (const size_t index : {chunks.size() / 2, size_t{0}, chunks.size() - 1}) {
        std::vector<uint8_t> damaged = WithoutIntegrityRecord(package_);
        const auto at = static_cast<size_t>(chunks[index].offset);
        std::memset(damaged.data() + at, 0x7F, 4);
        Rewrite(damaged);
        const Outcome one = Extract(1);
        EXPECT_EQ(one.run.code, 1);
        EXPECT_NE(one.run.err.find("解凍エラー！"), std::string::npos) << one.run.err;
        const Outcome four = Extract(4);
        EXPECT_EQ(four.run.code, one.run.code) << index;
        EXPECT_EQ(four.run.err, one.run.err) << index;
        EXPECT_TRUE(four.tree == one.tree) << "chunk " << index;
    }
}

TEST_F(ParallelExtract, TruncatedPackagesFailAlike) {
    const std::vector<ChunkRef> chunks = Chunks();
    const ChunkRef middle = chunks[chunks.size() / 2];
    // Cut inside a chunk body, once as a plain cut (the header then declares more than there
    // is) and once with the header's length made to agree, so the chunk runs past the end.
    for (const bool agree : {false, true}) {
        const auto cut_at = static_cast<std::ptrdiff_t>(middle.offset + middle.length / 2);
        std::vector<uint8_t> cut(package_.begin(), package_.begin() + cut_at);
        if (agree) {
            const auto declared = static_cast<uint32_t>(cut.size() - LENGTH_BASE);
            for (int i = 0; i < 4; ++i) cut[20 + i] = static_cast<uint8_t>(declared >> (8 * i));
        }
        Rewrite(cut);
        const Outcome one = Extract(1);
        EXPECT_EQ(one.run.code, 1);
        EXPECT_NE(one.run.err.find("リードエラー！"), std::string::npos) << one.run.err;
        EXPECT_EQ(one.tree.empty(), !agree);
        ExpectSameAsOneThread({3});
    }
}

TEST_F(ParallelExtract, PrefetcherHandsOverWhatTheDecoderGivesWithinItsWindow) {
    const std::vector<ChunkRef> chunks = Chunks();
    const int32_t capacity = kBlock + CHUNK_SLACK;
    auto direct = [&](const ChunkRef& chunk) {
        std::vector<uint8_t> buffer(kBlock + BUFFER_SLACK);
        std::memcpy(buffer.data(), package_.data() + chunk.offset,
                    static_cast<size_t>(chunk.length));
        ChunkDecoder decoder;
        const int32_t produced = decoder.Decode(buffer.data(), chunk.length, capacity);
        buffer.resize(static_cast<size_t>(std::max(produced, 0)));
        return buffer;
    };

    ChunkPrefetcher prefetcher(package_, 3);
    // With nobody taking chunks, the threads fill the window and stop there.
    for (int spins = 0; prefetcher.counters().decoded_ahead < 6 && spins < 20000; ++spins) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ChunkPrefetcher::Counters counters = prefetcher.counters();
    EXPECT_EQ(counters.window, 6);
    EXPECT_EQ(counters.buffers, 6);
    EXPECT_EQ(counters.decoded_ahead, 6);
    EXPECT_EQ(counters.peak_in_flight, 6);

    for (const ChunkRef& chunk : chunks) {
        const uint8_t* decoded = nullptr;
        const int32_t produced =
            prefetcher.DecodedChunk(chunk.offset, chunk.length, capacity, &decoded);
        ASSERT_GT(produced, 0);
        ASSERT_EQ(std::vector<uint8_t>(decoded, decoded + produced), direct(chunk));
    }
    counters = prefetcher.counters();
    EXPECT_EQ(counters.handed_over, static_cast<int64_t>(chunks.size()));
    EXPECT_EQ(counters.decoded_ahead, static_cast<int64_t>(chunks.size()));
    EXPECT_EQ(counters.decoded_here, 0);
    EXPECT_LE(counters.peak_in_flight, 6);
    EXPECT_EQ(counters.buffers, 6);
}

TEST_F(ParallelExtract, PrefetcherServesChunksTheWalkDidNotPredict) {
    const std::vector<ChunkRef> chunks = Chunks();
    const int32_t capacity = kBlock + CHUNK_SLACK;
    auto take = [&](ChunkPrefetcher& prefetcher, const ChunkRef& chunk) {
        const uint8_t* decoded = nullptr;
        const int32_t produced =
            prefetcher.DecodedChunk(chunk.offset, chunk.length, capacity, &decoded);
        return std::vector<uint8_t>(decoded, decoded + std::max(produced, 0));
    };
    ChunkPrefetcher reference(package_, 2);
    std::vector<std::vector<uint8_t>> expected;
    for (const ChunkRef& chunk : chunks) expected.push_back(take(reference, chunk));

    // Out of order: everything from then on is decoded on the asking thread.
    ChunkPrefetcher skipping(package_, 2);
    EXPECT_EQ(take(skipping, chunks[0]), expected[0]);
    EXPECT_EQ(take(skipping, chunks[5]), expected[5]);
    EXPECT_EQ(take(skipping, chunks[1]), expected[1]);
    EXPECT_EQ(skipping.counters().decoded_here, 2);

    // Not a package at all: nothing ahead, still the decoder's answer.
    std::vector<uint8_t> headless = package_;
    headless[0] ^= 1;
    ChunkPrefetcher blind(headless, 4);
    EXPECT_EQ(take(blind, chunks[3]), expected[3]);
    EXPECT_EQ(blind.counters().decoded_ahead, 0);
    EXPECT_EQ(blind.counters().window, 0);
    // A body past the bytes there is fails as a chunk, not as a crash.
    const uint8_t* decoded = nullptr;
    EXPECT_EQ(blind.DecodedChunk(static_cast<int64_t>(headless.size()) - 2, 10, capacity, &decoded),
              0);
}

}  // namespace
