// The engine on well-formed and slightly wrong packages: outcome, files, times, attributes,
// progress.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/package_extractor.h"
#include "package/platform_file.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr FileTime JAN_2001 = 126227808000000000ULL;  // 2001-01-01 00:00:00 UTC
constexpr FileTime JUN_2010 = 129200832000000000ULL;  // 2010-06-01 00:00:00 UTC
constexpr FileTime MAR_2020 = 132274080000000000ULL;  // 2020-02-26 00:00:00 UTC

std::string Pattern(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<char>(seed >> 16);
    }
    return data;
}

struct Outcome {
    int returned = -1;
    ExtractResult result{};
    std::vector<ProgressPost> posts;
};

Outcome ExtractInto(const std::vector<uint8_t>& package, const ScratchFolder& folder,
                    size_t available = SIZE_MAX) {
    // An exactly sized copy, so that the sanitizers see any read past the package.
    const std::vector<uint8_t> exact(package);
    if (available == SIZE_MAX) available = exact.size();
    ProgressRecorder recorder;
    PackageExtractor engine;
    engine.SetProgressTarget(recorder.target(), 1034);
    Outcome outcome;
    std::memset(&outcome.result, 0x55, sizeof outcome.result);
    outcome.returned =
        engine.Extract(exact.data(), available, folder.dest().c_str(), &outcome.result);
    outcome.posts = recorder.Collect();
    return outcome;
}

std::string Message(const Outcome& outcome) {
    return outcome.result.message;
}

TEST(Extractor, WellFormedPackageGivesFilesTimesAttributesAndProgress) {
    ScratchFolder folder;
    const std::string big = Pattern(2500, 1);
    const EntryTimes times{JAN_2001, JUN_2010, MAR_2020};
    PackageBuilder builder(1024);
    std::vector<int64_t> chunk_ends;
    builder.Entry("big.bin", 2500, ATTRIBUTE_READONLY | ATTRIBUTE_ARCHIVE, times);
    for (size_t at = 0; at < big.size(); at += 1024) {
        builder.StoredChunk(big.substr(at, 1024));
        chunk_ends.push_back(static_cast<int64_t>(builder.size()));
    }
    builder.Terminator();
    builder.StoredFile(Sjis("空.txt"), "", ATTRIBUTE_ARCHIVE, times);
    builder.StoredFile("x", "y", ATTRIBUTE_HIDDEN | ATTRIBUTE_ARCHIVE, times);
    chunk_ends.push_back(static_cast<int64_t>(builder.size()) - 4);
    const std::vector<uint8_t> package = builder.Finish();
    const auto length = static_cast<int64_t>(package.size());

    const Outcome outcome = ExtractInto(package, folder);
    ASSERT_EQ(outcome.returned, 1) << Message(outcome);
    EXPECT_EQ(outcome.result.file_count, 3);
    EXPECT_EQ(outcome.result.byte_count, length);
    EXPECT_EQ(outcome.result.coder_error, 0);
    EXPECT_EQ(Message(outcome), Sjis("解凍完了！ ファイル数:3"));

    const FileFacts facts = folder.Facts("big.bin");
    ASSERT_TRUE(facts.exists);
    EXPECT_EQ(facts.bytes, big);
    EXPECT_TRUE(facts.read_only);
    EXPECT_EQ(facts.last_write, MAR_2020);
    EXPECT_EQ(facts.last_access, JUN_2010);
    const FileFacts empty = folder.Facts(Sjis("空.txt"));
    ASSERT_TRUE(empty.exists);
    EXPECT_EQ(empty.bytes, "");
    EXPECT_FALSE(empty.read_only);
    EXPECT_EQ(empty.last_write, MAR_2020);
    const FileFacts hidden = folder.Facts("x");
    EXPECT_EQ(hidden.bytes, "y");
#ifdef _WIN32
    EXPECT_TRUE(hidden.hidden);
#endif

    // One post per chunk written, none for the empty entry, and one at the end.
    ASSERT_EQ(outcome.posts.size(), chunk_ends.size() + 1);
    for (size_t i = 0; i < chunk_ends.size(); ++i) {
        EXPECT_EQ(outcome.posts[i].message, 1034u);
        EXPECT_EQ(outcome.posts[i].done, chunk_ends[i]) << "post " << i;
        EXPECT_EQ(outcome.posts[i].total, length);
    }
    EXPECT_EQ(outcome.posts.back().done, length);
    EXPECT_EQ(outcome.posts.back().total, length);
}

TEST(Extractor, CreationTimeIsSetWhereTheFileSystemKeepsOne) {
    if (!SystemKeepsCreationTimes()) {
        GTEST_SKIP() << "this file system keeps no creation time that can be set";
    }
    ScratchFolder folder;
    const std::vector<uint8_t> package =
        PackageBuilder()
            .StoredFile("c", "1", ATTRIBUTE_ARCHIVE, {JAN_2001, JUN_2010, MAR_2020})
            .Finish();
    ASSERT_EQ(ExtractInto(package, folder).returned, 1);
    EXPECT_EQ(folder.Facts("c").creation, JAN_2001);
}

TEST(Extractor, NullResultAndDetachedProgressChangeNothingButTheReport) {
    ScratchFolder folder;
    const std::vector<uint8_t> package = PackageBuilder().StoredFile("a", "abc").Finish();
    ProgressRecorder recorder;
    PackageExtractor engine;
    engine.SetProgressTarget(recorder.target(), 1034);
    engine.SetProgressTarget(nullptr, 0);
    EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), nullptr), 1);
    EXPECT_EQ(folder.Facts("a").bytes, "abc");
    EXPECT_TRUE(recorder.Collect().empty());
    EXPECT_EQ(engine.memory_source, nullptr);
    EXPECT_EQ(engine.position, static_cast<int64_t>(package.size()));
    EXPECT_EQ(engine.total_length, static_cast<int64_t>(package.size()));

    // Failing the same way with and without a record.
    folder.Empty();
    std::vector<uint8_t> broken = package;
    broken[0] = 'X';
    EXPECT_EQ(engine.Extract(broken.data(), broken.size(), folder.dest().c_str(), nullptr), 0);
}

TEST(Extractor, PackagesWithoutBytesFailSilently) {
    ScratchFolder folder;
    // The shortest package that reads through: header, block size, end byte.
    const std::vector<uint8_t> shortest = PackageBuilder().Finish();
    ASSERT_EQ(shortest.size(), 37u);
    Outcome outcome = ExtractInto(shortest, folder);
    EXPECT_EQ(outcome.returned, 0);
    EXPECT_EQ(Message(outcome), "");
    EXPECT_EQ(outcome.result.file_count, 0);
    EXPECT_EQ(outcome.result.byte_count, 0);
    EXPECT_EQ(outcome.result.failure, ExtractFailure::nothing_to_extract);
    EXPECT_TRUE(outcome.posts.empty());

    // Only empty files: they are made, then the extraction fails with no message.
    outcome =
        ExtractInto(PackageBuilder().StoredFile("e1", "").StoredFile("e2", "").Finish(), folder);
    EXPECT_EQ(outcome.returned, 0);
    EXPECT_EQ(Message(outcome), "");
    EXPECT_EQ(outcome.result.failure, ExtractFailure::nothing_to_extract);
    EXPECT_EQ(outcome.result.file_count, 0);
    EXPECT_TRUE(folder.Facts("e1").exists);
    EXPECT_TRUE(folder.Facts("e2").exists);
}

#ifndef _WIN32
// The progress window may close while an extraction runs: it detaches from another thread,
// here from inside the first post.
class DetachingListener final : public ProgressListener {
  public:
    explicit DetachingListener(PackageExtractor& engine) : engine_(engine) {}
    virtual ~DetachingListener() = default;
    void OnProgress(uint32_t, int64_t, int64_t) override {
        ++posts;
        engine_.SetProgressTarget(nullptr, 0);
    }
    int posts = 0;

  private:
    PackageExtractor& engine_;
};

TEST(Extractor, DetachingDuringExtractionStopsThePostsButNotTheWork) {
    ScratchFolder folder;
    const std::vector<uint8_t> package =
        PackageBuilder().StoredFile("a", "1").StoredFile("b", "2").StoredFile("c", "3").Finish();
    PackageExtractor engine;
    DetachingListener listener(engine);
    engine.SetProgressTarget(&listener, 1034);
    ExtractResult result{};
    EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 1);
    EXPECT_EQ(result.file_count, 3);
    EXPECT_EQ(listener.posts, 1);
    EXPECT_EQ(folder.Facts("c").bytes, "3");
}
#endif

TEST(Extractor, HeaderChecks) {
    ScratchFolder folder;
    const std::vector<uint8_t> good = PackageBuilder().StoredFile("a", "abc").Finish();
    const std::string format_error = Sjis("書式エラー！");
    for (size_t i = 0; i < 16; ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x20;
        const Outcome outcome = ExtractInto(bad, folder);
        EXPECT_EQ(Message(outcome), format_error) << "magic byte " << i;
        EXPECT_EQ(outcome.result.failure, ExtractFailure::format);
    }
    for (size_t i = 24; i < 32; ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x01;
        EXPECT_EQ(Message(ExtractInto(bad, folder)), format_error) << "signature byte " << i;
    }
    for (int32_t length : {0, -1, INT32_MIN}) {
        std::vector<uint8_t> bad = good;
        PutI32(bad, 20, length);
        EXPECT_EQ(Message(ExtractInto(bad, folder)), format_error) << "L = " << length;
    }
    for (int32_t block : {1023, 4000001, 0, -1024, INT32_MAX}) {
        std::vector<uint8_t> bad = good;
        PutI32(bad, 32, block);
        EXPECT_EQ(Message(ExtractInto(bad, folder)), format_error) << "B = " << block;
    }
    EXPECT_TRUE(folder.DestEntries().empty());
    for (int32_t block : {1024, 4000000}) {
        const std::vector<uint8_t> edge = PackageBuilder(block).StoredFile("b", "x").Finish();
        EXPECT_EQ(ExtractInto(edge, folder).returned, 1) << "B = " << block;
        folder.Empty();
    }
}

TEST(Extractor, CodedPackageWithoutCoderIsACoderError) {
    ScratchFolder folder;
    std::vector<uint8_t> coded = PackageBuilder().StoredFile("a", "abc").Finish();
    coded[17] = 'Q';
    const Outcome outcome = ExtractInto(coded, folder);
    EXPECT_EQ(outcome.returned, 0);
    EXPECT_EQ(Message(outcome), Sjis("コーダーエラー！"));
    EXPECT_EQ(outcome.result.coder_error, 1);
    EXPECT_TRUE(folder.DestEntries().empty());
}

// Codes every coded field by adding one to each byte.
class ShiftCoder : public PackageCoder {
  public:
    int Accept(uint8_t* bytes, int32_t length) override {
        accepted.assign(bytes, bytes + length);
        return bytes[0] == '+';
    }
    void Transform(uint8_t* bytes, int32_t length) override {
        for (int32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - 1);
        transformed += length;
    }
    std::vector<uint8_t> accepted;
    int32_t transformed = 0;
};

std::vector<uint8_t> Coded(std::vector<uint8_t> bytes) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(b + 1);
    return bytes;
}

TEST(Extractor, InstalledCoderDecodesEveryCodedFieldOnceAndPlainPackagesDropIt) {
    ScratchFolder folder;
    PackageBuilder builder;
    const std::vector<uint8_t> body = StoredBody("data");
    std::vector<uint8_t> unit(28, 0);
    unit[0] = ATTRIBUTE_ARCHIVE;
    builder.Raw({1})
        .Raw(Coded({'c'}))
        .I32(4)
        .Raw(Coded(unit))
        .I32(static_cast<int32_t>(body.size()));
    builder.Raw(Coded(body)).Terminator();
    std::vector<uint8_t> package = builder.Finish();
    std::memcpy(package.data() + 16, "/+ab", 4);
    const std::vector<uint8_t> signature = Coded({'Q', 'Z', 'N', '-', '2', '0', '0', '0'});
    std::memcpy(package.data() + 24, signature.data(), 8);

    ShiftCoder coder;
    PackageExtractor engine;
    engine.coder = &coder;
    ExtractResult result{};
    ASSERT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 1)
        << result.message;
    EXPECT_EQ(coder.accepted, (std::vector<uint8_t>{'+', 'a', 'b'}));
    EXPECT_EQ(coder.transformed, 8 + 1 + 28 + static_cast<int32_t>(body.size()));
    EXPECT_EQ(folder.Facts("c").bytes, "data");

    const std::vector<uint8_t> plain = PackageBuilder().StoredFile("p", "q").Finish();
    EXPECT_EQ(engine.Extract(plain.data(), plain.size(), folder.dest().c_str(), &result), 1);
    EXPECT_EQ(engine.coder, nullptr);
}

TEST(Extractor, ChunkLengthLimitAndTerminators) {
    ScratchFolder folder;
    const int32_t block = 1024;
    // A stored body of B + 16 bytes carries B + 9 bytes of data: the longest chunk allowed.
    const std::string longest = Pattern(static_cast<size_t>(block) + 9, 2);
    PackageBuilder at_limit(block);
    at_limit.Entry("limit", static_cast<int32_t>(longest.size()))
        .StoredChunk(longest)
        .Terminator(-7);
    Outcome outcome = ExtractInto(at_limit.Finish(), folder);
    ASSERT_EQ(outcome.returned, 1) << Message(outcome);
    EXPECT_EQ(folder.Facts("limit").bytes, longest);

    PackageBuilder over(block);
    over.Entry("first", 3).StoredChunk("abc").Terminator(INT32_MIN);
    over.Entry("over", 20, ATTRIBUTE_ARCHIVE, {0, 0, JUN_2010}).StoredChunk("0123456789");
    over.Chunk(std::vector<uint8_t>(static_cast<size_t>(block) + 17, 0)).Terminator();
    over.StoredFile("never", "z");
    outcome = ExtractInto(over.Finish(), folder);
    EXPECT_EQ(outcome.returned, 0);
    EXPECT_EQ(Message(outcome), Sjis("書式エラー！ [セグメントサイズ] over"));
    EXPECT_EQ(outcome.result.file_count, 0);
    EXPECT_EQ(folder.Facts("first").bytes, "abc");
    const FileFacts cut = folder.Facts("over");
    EXPECT_EQ(cut.bytes, "0123456789");
    EXPECT_EQ(cut.last_write, JUN_2010);
    EXPECT_FALSE(folder.Facts("never").exists);
}

TEST(Extractor, ChunkListsThatEndEarlyOrRunLong) {
    ScratchFolder folder;
    PackageBuilder early;
    early.Entry(Sjis("短い"), 100, ATTRIBUTE_READONLY, {0, 0, MAR_2020}).StoredChunk("only fifty");
    early.Terminator();
    Outcome outcome = ExtractInto(early.Finish(), folder);
    EXPECT_EQ(Message(outcome), Sjis("書式エラー！"));
    FileFacts facts = folder.Facts(Sjis("短い"));
    EXPECT_EQ(facts.bytes, "only fifty");
    EXPECT_TRUE(facts.read_only);
    EXPECT_EQ(facts.last_write, MAR_2020);
    folder.Empty();

    PackageBuilder late;
    late.Entry(Sjis("長い"), 5).StoredChunk("12345").StoredChunk("6").Terminator();
    outcome = ExtractInto(late.Finish(), folder);
    EXPECT_EQ(Message(outcome), Sjis("解凍エラー！ 長い"));
    EXPECT_EQ(folder.Facts(Sjis("長い")).bytes, "12345");
    folder.Empty();

    // One chunk decoding past the size: not written at all.
    PackageBuilder past;
    past.Entry("past", 3).StoredChunk("abcd").Terminator();
    EXPECT_EQ(Message(ExtractInto(past.Finish(), folder)), Sjis("解凍エラー！ past"));
    EXPECT_EQ(folder.Facts("past").bytes, "");
    folder.Empty();

    // A chunk decoding to nothing (stored mode without data) fails the entry.
    PackageBuilder nothing;
    nothing.Entry("nothing", 3).StoredChunk("").Terminator();
    EXPECT_EQ(Message(ExtractInto(nothing.Finish(), folder)), Sjis("解凍エラー！ nothing"));
}

TEST(Extractor, ExistingFileIsNeverOverwritten) {
    ScratchFolder folder;
    folder.PutFile("taken", "precious");
    const std::vector<uint8_t> package = PackageBuilder()
                                             .StoredFile("before", "1")
                                             .StoredFile("taken", "2")
                                             .StoredFile("after", "3")
                                             .Finish();
    const Outcome outcome = ExtractInto(package, folder);
    EXPECT_EQ(outcome.returned, 0);
    EXPECT_EQ(Message(outcome), Sjis("ライトエラー！"));
    EXPECT_EQ(folder.Facts("before").bytes, "1");
    EXPECT_EQ(folder.Facts("taken").bytes, "precious");
    EXPECT_FALSE(folder.Facts("after").exists);
}

TEST(Extractor, ReadHonoursBoundsAndAnOpenFileSource) {
    PackageExtractor engine;
    uint8_t out[8] = {};
    EXPECT_EQ(engine.Read(out, 1), 0);  // no source at all
    const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    engine.memory_source = bytes;
    engine.total_length = 6;
    EXPECT_EQ(engine.Read(out, 4), 1);
    EXPECT_EQ(engine.position, 4);
    EXPECT_EQ(engine.Read(out, 3), 0);
    EXPECT_EQ(engine.position, 4);  // a failed read consumes nothing
    EXPECT_EQ(engine.Read(out, -1), 0);
    EXPECT_EQ(engine.Read(out, 2), 1);
    EXPECT_EQ(out[1], 6);
    engine.position = INT64_MAX - 1;
    engine.total_length = INT64_MAX;
    EXPECT_EQ(engine.Read(out, 8), 0);

    ScratchFolder folder;
    folder.PutFile("source", "hello");
    engine.file_source = folder.OpenForReading("source");
    ASSERT_NE(engine.file_source, INVALID_FILE);
    engine.position = 0;
    EXPECT_EQ(engine.Read(out, 3), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "hel");
    EXPECT_EQ(engine.position, 3);
    EXPECT_EQ(engine.Read(out, 3), 0);  // only two bytes left

    // Extract closes the file and reads from memory.
    const std::vector<uint8_t> package = PackageBuilder().StoredFile("m", "mem").Finish();
    EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), nullptr), 1);
    EXPECT_EQ(engine.file_source, INVALID_FILE);
    EXPECT_EQ(folder.Facts("m").bytes, "mem");
}

TEST(Extractor, NothingIsReadFromTheCallersBufferOnceExtractReturns) {
    ScratchFolder folder;
    folder.PutFile("taken", "x");
    PackageExtractor engine;
    {
        const std::vector<uint8_t> failing = PackageBuilder().StoredFile("taken", "abc").Finish();
        EXPECT_EQ(engine.Extract(failing.data(), failing.size(), folder.dest().c_str(), nullptr),
                  0);
    }
    uint8_t byte = 0;
    EXPECT_EQ(engine.Read(&byte, 1), 0);
}

}  // namespace

#ifdef _WIN32
// The destination is held in place while files go into it: nobody
// gets the delete access that renaming or replacing it takes until the extraction lets go.
TEST(Extractor, TargetFolderIsHeldInPlaceWhileFilesGoIntoIt) {
    ScratchFolder folder;
    auto open_for_delete = [&] {
        const HANDLE handle =
            CreateFileW(WidePath(folder.dest()).c_str(), DELETE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        CloseHandle(handle);
        return true;
    };
    {
        platform::OutputFolder output;
        output.Open(folder.dest().c_str(), nullptr);
        EXPECT_FALSE(open_for_delete());
    }
    EXPECT_TRUE(open_for_delete());
}
#endif
