// Files through create, list and extract: bytes, names, times and attributes come back.
#include <gtest/gtest.h>

#include "json_reader.h"
#include "tool_test_support.h"
#include "tools/filespack/files/file_metadata.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/output/text_format.h"

namespace {

constexpr int32_t kBlock = 1024;

struct Sample {
    std::string name;
    size_t size;
};

// Sizes around the block size, and names whose Shift-JIS second byte is a backslash (0x5C).
const std::vector<Sample> kSamples = {
    {"empty.txt", 0},
    {"one.bin", 1},
    {"exact.bin", kBlock},
    {"over.bin", kBlock + 1},
    {"large.bin", 7 * kBlock + 123},
    {"表.txt", 300},
    {"ソフト.dat", 2000},
    {"予定表 能力.csv", 77},
};

// 2020-05-06T07:08:09.1234567Z and 2021-01-02T03:04:05Z.
const FileTime kWritten = *FileTimeFromUnix(1588748889, 123456700);
const FileTime kAccessed = *FileTimeFromUnix(1609556645);

std::filesystem::path MakeSamples(const ScratchDir& dir) {
    const auto folder = dir / "in";
    std::filesystem::create_directory(folder);
    uint32_t seed = 1;
    for (const auto& sample : kSamples) {
        WriteBytes(folder / PathFromUtf8(sample.name), PatternBytes(sample.size, seed++));
    }
    for (const auto& sample : kSamples)
        SetTimes(folder / PathFromUtf8(sample.name), kAccessed, kWritten);
    MakeReadOnly(folder / "one.bin");
    return folder;
}

const JsonValue* FindFile(const JsonValue& listing, const std::string& name) {
    for (const auto& file : listing["files"].array()) {
        if (file["name"].text() == name) return &file;
    }
    return nullptr;
}

}  // namespace

TEST(RoundTrip, FolderComesBackWithBytesTimesAndAttributes) {
    ScratchDir dir;
    MakeSamples(dir);
    const ToolRun create =
        RunTool({"create", dir.Arg("pkg.fpk"), dir.Arg("in"), "--block-size", "1024"});
    ASSERT_EQ(create.code, 0) << create.err;

    const ToolRun list = RunTool({"list", "--json", dir.Arg("pkg.fpk")});
    ASSERT_EQ(list.code, 0) << list.err;
    const JsonValue listing = JsonReader::Parse(list.out);
    EXPECT_EQ(listing["block_size"].number(), kBlock);
    ASSERT_EQ(listing["files"].array().size(), kSamples.size());
    // Sorted by the bytes of the UTF-8 names: ASCII first, then kana, then kanji.
    EXPECT_EQ(listing["files"].array().front()["name"].text(), "empty.txt");
    EXPECT_EQ(listing["files"].array().back()["name"].text(), "表.txt");
    for (const auto& sample : kSamples) {
        const JsonValue* file = FindFile(listing, sample.name);
        ASSERT_NE(file, nullptr) << sample.name;
        EXPECT_EQ((*file)["size"].number(), static_cast<double>(sample.size));
        EXPECT_EQ((*file)["last_write"].text(), "2020-05-06T07:08:09.1234567Z");
        EXPECT_EQ((*file)["last_access"].text(), "2021-01-02T03:04:05Z");
        const double attributes = sample.name == "one.bin" ? 0x21 : 0x20;
        EXPECT_EQ((*file)["attributes"].number(), attributes) << sample.name;
    }
    EXPECT_EQ((*FindFile(listing, "empty.txt"))["chunks"].number(), 0);
    EXPECT_EQ((*FindFile(listing, "exact.bin"))["chunks"].number(), 1);
    EXPECT_EQ((*FindFile(listing, "over.bin"))["chunks"].number(), 2);

    const ToolRun extract = RunTool({"extract", dir.Arg("pkg.fpk"), "-o", dir.Arg("out")});
    ASSERT_EQ(extract.code, 0) << extract.err;
    EXPECT_NE(extract.out.find("8 files"), std::string::npos) << extract.out;
    uint32_t seed = 1;
    for (const auto& sample : kSamples) {
        const auto path = dir / ("out/" + sample.name);
        FileMetadata metadata;
        std::string error;
        // Times first: reading the contents could move the access time.
        ASSERT_TRUE(ReadFileMetadata(path, metadata, error)) << sample.name << ": " << error;
        EXPECT_EQ(metadata.times.last_write, kWritten) << sample.name;
        EXPECT_EQ(metadata.times.last_access, kAccessed) << sample.name;
        EXPECT_EQ((metadata.attributes & ATTRIBUTE_READONLY) != 0, sample.name == "one.bin")
            << sample.name;
        EXPECT_EQ(ReadBytes(path), PatternBytes(sample.size, seed++)) << sample.name;
    }
}

TEST(RoundTrip, DefaultBlockSizeAndTestVerb) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "in");
    const auto big = PatternBytes(450001, 9);
    WriteBytes(dir / "in/big.bin", big);
    WriteBytes(dir / "in/small.txt", PatternBytes(10, 3));
    ASSERT_EQ(RunTool({"create", dir.Arg("big.fpk"), dir.Arg("in")}).code, 0);

    const ToolRun list = RunTool({"list", "--json", dir.Arg("big.fpk")});
    const JsonValue listing = JsonReader::Parse(list.out);
    EXPECT_EQ(listing["block_size"].number(), DEFAULT_BLOCK_SIZE);
    EXPECT_EQ((*FindFile(listing, "big.bin"))["chunks"].number(), 3);

    const ToolRun test = RunTool({"test", dir.Arg("big.fpk")});
    EXPECT_EQ(test.code, 0) << test.err;
    EXPECT_NE(test.out.find("OK, 2 files"), std::string::npos) << test.out;

    // The default folder is the package's path without its extension.
    ASSERT_EQ(RunTool({"extract", "-q", dir.Arg("big.fpk")}).code, 0);
    EXPECT_EQ(ReadBytes(dir / "big/big.bin"), big);
}

TEST(RoundTrip, FixedTimeGivesTheSameBytesEveryTime) {
    ScratchDir dir;
    MakeSamples(dir);
    ASSERT_EQ(RunTool({"create", dir.Arg("a.fpk"), dir.Arg("in"), "--mtime", "2024-01-02"}).code,
              0);
    // Other file times and a different route to the same time must not matter.
    for (const auto& sample : kSamples) {
        SetTimes(dir / ("in/" + sample.name), kWritten + 77, kWritten + 99);
    }
    ASSERT_EQ(RunTool({"create", dir.Arg("b.fpk"), dir.Arg("in")}, "1704153600").code, 0);
    ASSERT_EQ(
        RunTool({"create", dir.Arg("c.fpk"), dir.Arg("in"), "--mtime", "@1704153600"}, "999").code,
        0);
    const auto a = ReadBytes(dir / "a.fpk");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, ReadBytes(dir / "b.fpk"));
    EXPECT_EQ(a, ReadBytes(dir / "c.fpk"));

    const JsonValue listing = JsonReader::Parse(RunTool({"list", "--json", dir.Arg("a.fpk")}).out);
    for (const auto& file : listing["files"].array()) {
        EXPECT_EQ(file["creation"].text(), "2024-01-02T00:00:00Z");
        EXPECT_EQ(file["last_access"].text(), "2024-01-02T00:00:00Z");
        EXPECT_EQ(file["last_write"].text(), "2024-01-02T00:00:00Z");
    }
}

TEST(RoundTrip, PackageWrittenIntoItsOwnInputFolderIsLeftOut) {
    ScratchDir dir;
    MakeSamples(dir);
    const std::string package = dir.Arg("in/self.fpk");
    ASSERT_EQ(RunTool({"create", package, dir.Arg("in"), "--mtime", "0"}).code, 0);
    const auto first = ReadBytes(dir / "in/self.fpk");
    // The second run finds the first run's package in the folder, and what a killed run left.
    WriteBytes(dir / "in/self.fpk.partial", PatternBytes(5000, 1));
    const ToolRun again = RunTool({"create", package, dir.Arg("in"), "--mtime", "0"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadBytes(dir / "in/self.fpk"), first);
    const JsonValue listing = JsonReader::Parse(RunTool({"list", "--json", package}).out);
    EXPECT_EQ(FindFile(listing, "self.fpk"), nullptr);
    // Left out, and left alone: the tool touches no file it did not make.
    EXPECT_EQ(FindFile(listing, "self.fpk.partial"), nullptr);
    EXPECT_EQ(ReadBytes(dir / "in/self.fpk.partial"), PatternBytes(5000, 1));
}

TEST(RoundTrip, FastKeepsFixedPiecesAndTheDefaultIsNeverLarger) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "in");
    // Half a byte of information a byte, then noise: one code fits neither half of the block
    // that holds the change.
    std::vector<uint8_t> changing = PatternBytes(250000, 9);
    for (size_t i = 0; i < 100000; ++i) changing[i] = static_cast<uint8_t>('a' + changing[i] % 16);
    WriteBytes(dir / "in/changing.bin", changing);
    WriteBytes(dir / "in/noise.bin", PatternBytes(70000, 3));
    for (const char* mode : {"planned", "fast"}) {
        std::vector<std::string> args = {
            "create",      "-q",           dir.Arg(std::string(mode) + ".fpk"),
            dir.Arg("in"), "--block-size", "65536"};
        if (std::string(mode) == "fast") args.push_back("--fast");
        ASSERT_EQ(RunTool(args).code, 0) << mode;
        ASSERT_EQ(RunTool({"extract", "-q", "-j", "3", dir.Arg(std::string(mode) + ".fpk"), "-o",
                           dir.Arg(mode)})
                      .code,
                  0)
            << mode;
        EXPECT_EQ(ReadBytes(dir / mode / "changing.bin"), changing) << mode;
    }
    EXPECT_LT(std::filesystem::file_size(dir / "planned.fpk"),
              std::filesystem::file_size(dir / "fast.fpk"));
}
