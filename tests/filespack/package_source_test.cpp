// How the tools hold a package: the file's bytes (mapped where the system allows), given back
// behind the layout walk and the engine as they advance, and the errors for files that are not
// there to read.
#include "package/integrity_record.h"
#include "tools/filespack/reading/package_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "json_reader.h"
#include "minimal_executable.h"
#include "pe/pe_resources.h"
#include "tool_test_support.h"
#include "tools/filespack/reading/engine_run.h"
#include "tools/filespack/reading/package_layout.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

bool SameBytes(std::span<const uint8_t> a, const std::vector<uint8_t>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

TEST(FileImage, GivingPagesBackNeverChangesTheBytes) {
    ScratchDir dir;
    const auto content = PatternBytes((size_t{3} << 20) + 123, 7);  // several release steps
    WriteBytes(dir / "big.bin", content);
    FileImage image;
    std::string error;
    ASSERT_TRUE(image.Open(dir / "big.bin", error)) << error;
#ifndef _WIN32
    EXPECT_TRUE(image.mapped());
#endif
    ASSERT_TRUE(SameBytes(image.bytes(), content));
    image.ReleaseBefore((size_t{2} << 20) + 1);
    image.ReleaseBefore(content.size() + 5000);  // past the end: clipped
    EXPECT_TRUE(SameBytes(image.bytes(), content));
    image.ReleaseAll();
    image.ReleaseBefore(size_t{1} << 21);  // again from the top after ReleaseAll
    EXPECT_TRUE(SameBytes(image.bytes(), content));

    FileImage moved(std::move(image));
    EXPECT_TRUE(SameBytes(moved.bytes(), content));
    EXPECT_TRUE(image.bytes().empty());
    FileImage assigned;
    ASSERT_TRUE(assigned.Open(dir / "big.bin", error));
    assigned = std::move(moved);  // the old mapping goes, the moved one stays readable
    EXPECT_TRUE(SameBytes(assigned.bytes(), content));
}

TEST(FileImage, EmptyMissingAndFolderPathsGiveClearAnswers) {
    ScratchDir dir;
    WriteBytes(dir / "empty.fpk", {});
    FileImage image;
    std::string error;
    EXPECT_TRUE(image.Open(dir / "empty.fpk", error)) << error;  // mapping 0 bytes would fail
    EXPECT_TRUE(image.bytes().empty());
    EXPECT_FALSE(image.Open(dir / "gone.fpk", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    const PackageSource gone = LoadPackage(dir / "gone.fpk", "");
    EXPECT_FALSE(gone.ok);
    EXPECT_NE(gone.error.find("gone.fpk: cannot open"), std::string::npos) << gone.error;
    const PackageSource folder = LoadPackage(dir.path(), "");
    EXPECT_FALSE(folder.ok);
    EXPECT_NE(folder.error.find("is a folder"), std::string::npos) << folder.error;

    for (const char* verb : {"list", "test", "extract"}) {
        const ToolRun empty = RunTool({verb, dir.Arg("empty.fpk"), "-q"});
        EXPECT_EQ(empty.code, 1) << verb;
        EXPECT_NE(empty.err.find("0 bytes"), std::string::npos) << verb << ": " << empty.err;
        const ToolRun missing = RunTool({verb, dir.Arg("gone.fpk"), "-q"});
        EXPECT_EQ(missing.code, 1) << verb;
        EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << verb << missing.err;
    }
}

#ifndef _WIN32
// Read as far as the package it carries declares (a stream could go on for ever).
TEST(FileImage, APipeCannotBeMappedAndIsReadInstead) {
    ScratchDir dir;
    const auto fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    WriteBytes(dir / "a.bin", PatternBytes(200000, 3));
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("a.bin")}).code, 0);
    const auto content = ReadBytes(dir / "p.fpk");
    std::thread writer([&] { WriteBytes(fifo, content); });
    FileImage image;
    std::string error;
    const bool opened = image.Open(fifo, error);
    writer.join();
    ASSERT_TRUE(opened) << error;
    EXPECT_FALSE(image.mapped());
    EXPECT_TRUE(SameBytes(image.bytes(), content));
}
#endif

// Each report must only ever move forward and stay inside the package: a report past bytes still
// to be read would let their pages go while needed, one too early would keep them all.
TEST(ReleaseBehind, WalkAndEngineReportTheBytesTheyHavePassed) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "src");
    WriteBytes(dir / "src/a.bin", PatternBytes(30000, 1));
    WriteBytes(dir / "src/b.bin", PatternBytes(7000, 2));
    ASSERT_EQ(
        RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src"), "--block-size", "1024"}).code,
        0);
    const PackageSource source = LoadPackage(dir / "p.fpk", "");
    ASSERT_TRUE(source.ok) << source.error;

    std::vector<int64_t> walked;
    const LayoutScan scan =
        ReadPackageLayout(source.bytes(), [&](int64_t passed) { walked.push_back(passed); });
    ASSERT_TRUE(scan.ok) << scan.error;
    int32_t chunks = 0;
    for (const auto& e : scan.layout.entries) chunks += e.chunk_count;
    ASSERT_EQ(walked.size(), static_cast<size_t>(chunks));
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    EXPECT_LT(walked.back(), scan.layout.length);  // the terminator and end byte follow

    std::vector<int64_t> consumed;
    ProgressBar bar(std::cerr, false, "");
    std::filesystem::create_directory(dir / "out");
    const EngineOutcome second = RunEngine(source.bytes(), dir / "out", bar, [&](int64_t done) {
        consumed.push_back(done);
        source.ReleaseConsumed(done);
    });
    ASSERT_TRUE(second.ok) << second.message;
    EXPECT_EQ(ReadBytes(dir / "out/a.bin"), PatternBytes(30000, 1));
    EXPECT_EQ(ReadBytes(dir / "out/b.bin"), PatternBytes(7000, 2));
#ifndef _WIN32
    ASSERT_EQ(consumed.size(), static_cast<size_t>(chunks) + 1);  // one per chunk and the end
    EXPECT_TRUE(std::is_sorted(consumed.begin(), consumed.end()));
    // The engine stops at the end byte; the integrity record after it is the check's.
    EXPECT_EQ(consumed.back(), scan.layout.length - INTEGRITY_RECORD_SIZE);
#endif
}

}  // namespace

TEST(PackageSource, VerbsReadThePackageInsideAnExecutable) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "src");
    WriteBytes(dir / "src/Setup.exe", PatternBytes(5000, 4));
    WriteBytes(dir / "src/表.txt", PatternBytes(12, 5));
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    const auto package = ReadBytes(dir / "p.fpk");

    WriteBytes(dir / "one.exe", BuildExecutable(false, {{std::string("QUOLTA"), package}}));
    const ToolRun list = RunTool({"list", "--json", dir.Arg("one.exe")});
    ASSERT_EQ(list.code, 0) << list.err;
    const JsonValue listing = JsonReader::Parse(list.out);
    EXPECT_EQ(listing["resource"].text(), "QUOLTA");
    EXPECT_EQ(listing["files"].array().size(), 2u);
    EXPECT_EQ(RunTool({"test", "-q", dir.Arg("one.exe")}).code, 0);
    ASSERT_EQ(RunTool({"extract", "-q", dir.Arg("one.exe")}).code, 0);
    EXPECT_EQ(ReadBytes(dir / "one/表.txt"), PatternBytes(12, 5));

    // Two packages: the caller must choose.
    WriteBytes(dir / "two.exe",
               BuildExecutable(true, {{std::string("OLD"), std::vector<uint8_t>(50, 0)}, {uint16_t{9}, package}}));
    const ToolRun ambiguous = RunTool({"list", dir.Arg("two.exe")});
    EXPECT_EQ(ambiguous.code, 1);
    EXPECT_NE(ambiguous.err.find("--resource"), std::string::npos) << ambiguous.err;
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "#9"}).code, 0);
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "old"}).code, 1);  // not a package
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "NONE"}).code, 1);

    // A resource that declares more bytes than the file has.
    auto short_exe = BuildExecutable(false, {{std::string("QUOLTA"), package}});
    const PeResource found = FindPeResources(short_exe, "FILESPACK").resources.at(0);
    short_exe.resize(static_cast<size_t>(found.offset) + found.size - 1);
    WriteBytes(dir / "short.exe", short_exe);
    EXPECT_EQ(RunTool({"list", dir.Arg("short.exe")}).code, 1);
    EXPECT_EQ(RunTool({"extract", dir.Arg("short.exe")}).code, 1);
}
