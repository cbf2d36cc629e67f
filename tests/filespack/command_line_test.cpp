// What users get wrong, and packages that are wrong: exit codes, messages, nothing left behind.
#include <gtest/gtest.h>

#include "package/package_writer.h"
#include "tool_test_support.h"
#include "tools/filespack/files/file_names.h"

namespace {

bool Mentions(const ToolRun& run, const std::string& text) {
    return run.err.find(text) != std::string::npos;
}

// A small valid package in the scratch folder, returned as bytes.
std::vector<uint8_t> MakePackage(const ScratchDir& dir, const std::string& name = "p.fpk") {
    std::filesystem::create_directories(dir / "src");
    WriteBytes(dir / "src/a.txt", PatternBytes(3000, 1));
    WriteBytes(dir / "src/b.txt", PatternBytes(5, 2));
    MakeReadOnly(dir / "src/b.txt");
    const ToolRun run = RunTool({"create", dir.Arg(name), dir.Arg("src"), "--block-size", "1024"});
    EXPECT_EQ(run.code, 0) << run.err;
    return ReadBytes(dir / name);
}

}  // namespace

TEST(CreateRefuses, SubfolderUnlessSkipped) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "in/nested");
    WriteBytes(dir / "in/a.txt", PatternBytes(10, 1));
    const ToolRun refused = RunTool({"create", dir.Arg("p.fpk"), dir.Arg("in")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(Mentions(refused, "nested")) << refused.err;
    EXPECT_TRUE(Mentions(refused, "--skip-subfolders")) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "p.fpk"));

    const ToolRun skipped =
        RunTool({"create", dir.Arg("p.fpk"), dir.Arg("in"), "--skip-subfolders"});
    EXPECT_EQ(skipped.code, 0) << skipped.err;
    EXPECT_TRUE(Mentions(skipped, "nested")) << skipped.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "p.fpk"));
}

TEST(CreateRefuses, NamesWindowsCannotHaveOrTellApart) {
    ScratchDir dir;
    // No Shift-JIS form: an emoji, and the yen sign (which must not become a backslash).
    for (const std::string name : {"😀.txt", "¥100.txt"}) {
        WriteBytes(dir / name, PatternBytes(10, 1));
        const ToolRun run = RunTool({"create", dir.Arg("p.fpk"), dir.Arg(name)});
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_TRUE(Mentions(run, name)) << run.err;
        EXPECT_TRUE(Mentions(run, "Shift-JIS")) << run.err;
    }
    // 255 bytes is the most a package's name holds.
    const std::string longest(255, 'n');
    WriteBytes(dir / longest, PatternBytes(10, 1));
    EXPECT_EQ(RunTool({"create", dir.Arg("p.fpk"), dir.Arg(longest)}).code, 0);
#ifdef _WIN32
    // 128 two-byte characters: 256 bytes in Shift-JIS. (Elsewhere such a name is longer than
    // the file system allows in UTF-8.)
    std::string too_long;
    for (int i = 0; i < 128; ++i) too_long += "あ";
    WriteBytes(dir / too_long, PatternBytes(10, 1));
    const ToolRun refused = RunTool({"create", dir.Arg("q.fpk"), dir.Arg(too_long)});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(Mentions(refused, "255")) << refused.err;
#endif
#ifndef _WIN32
    // Names this system allows but Windows does not.
    for (const std::string name : {"a:b.txt", "what?.txt", "CON.txt", "dot."}) {
        WriteBytes(dir / name, PatternBytes(10, 1));
        EXPECT_EQ(RunTool({"create", dir.Arg("q.fpk"), dir.Arg(name)}).code, 1) << name;
    }
    std::filesystem::create_directory(dir / "cases");
    WriteBytes(dir / "cases/Read.me", PatternBytes(10, 1));
    WriteBytes(dir / "cases/READ.ME", PatternBytes(10, 2));
    const ToolRun clash = RunTool({"create", dir.Arg("q.fpk"), dir.Arg("cases")});
    EXPECT_EQ(clash.code, 1);
    EXPECT_TRUE(Mentions(clash, "case")) << clash.err;
#endif
    EXPECT_FALSE(std::filesystem::exists(dir / "q.fpk"));
}

TEST(CreateRefuses, PackagesThatCouldNotBeExtracted) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "empties");
    WriteBytes(dir / "empties/a", {});
    WriteBytes(dir / "empties/b", {});
    const ToolRun empty = RunTool({"create", dir.Arg("p.fpk"), dir.Arg("empties")});
    EXPECT_EQ(empty.code, 1);
    EXPECT_TRUE(Mentions(empty, "empty")) << empty.err;
    std::filesystem::create_directory(dir / "nothing");
    EXPECT_EQ(RunTool({"create", dir.Arg("p.fpk"), dir.Arg("nothing")}).code, 1);
    EXPECT_EQ(RunTool({"create", dir.Arg("p.fpk"), dir.Arg("missing")}).code, 1);
    // The same file twice would stop the extractor at the second copy.
    WriteBytes(dir / "empties/c", PatternBytes(4, 1));
    const ToolRun twice =
        RunTool({"create", dir.Arg("p.fpk"), dir.Arg("empties/c"), dir.Arg("empties/c")});
    EXPECT_EQ(twice.code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "p.fpk"));
}

TEST(Usage, MistakesExitWithTwoAndHelpWithZero) {
    ScratchDir dir;
    MakePackage(dir);
    const std::string in = dir.Arg("src");
    const std::string out = dir.Arg("x.fpk");
    EXPECT_EQ(RunTool({}).code, 2);
    EXPECT_EQ(RunTool({"pack", out, in}).code, 2);
    EXPECT_EQ(RunTool({"create", out}).code, 2);
    EXPECT_EQ(RunTool({"create", out, in, "--block-size", "1023"}).code, 2);
    EXPECT_EQ(RunTool({"create", out, in, "--block-size", "4000001"}).code, 2);
    EXPECT_EQ(RunTool({"create", out, in, "--mtime", "2024-02-30"}).code, 2);
    EXPECT_EQ(RunTool({"create", out, in}, "yesterday").code, 2);
    EXPECT_EQ(RunTool({"list"}).code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.fpk"));
    // Without an extension there is no folder name to derive.
    std::filesystem::copy_file(dir / "p.fpk", dir / "bare");
    EXPECT_EQ(RunTool({"extract", dir.Arg("bare")}).code, 2);

    EXPECT_EQ(RunTool({"create", out, in, "--block-size", "1024"}).code, 0);
    EXPECT_EQ(RunTool({"create", out, in, "--block-size", "4000000"}).code, 0);
    for (const std::string verb : {"create", "list", "test", "extract"}) {
        const ToolRun help = RunTool({verb, "--help"});
        EXPECT_EQ(help.code, 0) << verb;
        EXPECT_NE(help.out.find("Exit codes"), std::string::npos) << verb;
    }
}

TEST(Extract, NeverOverwritesAndLeavesTheFolderAsItWas) {
    ScratchDir dir;
    MakePackage(dir);
    std::filesystem::create_directory(dir / "out");
    WriteBytes(dir / "out/b.txt", {'m', 'i', 'n', 'e'});
    const ToolRun run = RunTool({"extract", dir.Arg("p.fpk"), "-o", dir.Arg("out")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "b.txt")) << run.err;
    EXPECT_EQ(ReadBytes(dir / "out/b.txt"), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/a.txt"));
    // A folder that does not exist yet is made, parents included.
    EXPECT_EQ(RunTool({"extract", dir.Arg("p.fpk"), "-o", dir.Arg("new/deeper")}).code, 0);
    EXPECT_EQ(ReadBytes(dir / "new/deeper/a.txt"), PatternBytes(3000, 1));
}

TEST(DamagedPackage, EveryVerbReportsItWithExitOne) {
    ScratchDir dir;
    const auto good = MakePackage(dir);
    ASSERT_GT(good.size(), 100u);

    auto cut = good;
    cut.resize(cut.size() - 10);
    WriteBytes(dir / "cut.fpk", cut);
    for (const std::string verb : {"list", "test", "extract"}) {
        const ToolRun run = RunTool({verb, dir.Arg("cut.fpk")});
        EXPECT_EQ(run.code, 1) << verb;
        EXPECT_TRUE(Mentions(run, "truncated") || Mentions(run, "リードエラー")) << run.err;
    }

    // A chunk body that does not decode: the engine's own message is quoted.
    auto garbled = WithoutIntegrityRecord(good);
    const size_t first_chunk_body = 36 + 1 + 5 + 4 + 28 + 4;  // entry "a.txt"
    for (size_t i = first_chunk_body; i < first_chunk_body + 8; ++i) garbled[i] ^= 0xA5;
    WriteBytes(dir / "garbled.fpk", garbled);
    const ToolRun test = RunTool({"test", dir.Arg("garbled.fpk")});
    EXPECT_EQ(test.code, 1);
    EXPECT_TRUE(Mentions(test, "解凍エラー！ a.txt")) << test.err;
    EXPECT_EQ(RunTool({"list", dir.Arg("garbled.fpk")}).code, 0);  // the layout is intact

    // test's scratch folders go away, also after a failure and with a read-only file in them.
    std::filesystem::create_directory(dir / "tmp");
    {
        const ScopedTempFolder temp(dir / "tmp");
        EXPECT_EQ(RunTool({"test", dir.Arg("p.fpk")}).code, 0);
        EXPECT_EQ(RunTool({"test", dir.Arg("garbled.fpk")}).code, 1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));

    auto coded = WithoutIntegrityRecord(good);
    coded[17] = 'X';
    WriteBytes(dir / "coded.fpk", coded);
    const ToolRun list = RunTool({"list", dir.Arg("coded.fpk")});
    EXPECT_EQ(list.code, 1);
    EXPECT_TRUE(Mentions(list, "coded")) << list.err;
    const ToolRun coded_test = RunTool({"test", dir.Arg("coded.fpk")});
    EXPECT_EQ(coded_test.code, 1);
    EXPECT_TRUE(Mentions(coded_test, "コーダーエラー！")) << coded_test.err;

    WriteBytes(dir / "text.fpk", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(RunTool({"list", dir.Arg("text.fpk")}).code, 1);
    EXPECT_EQ(RunTool({"test", dir.Arg("missing.fpk")}).code, 1);
}

TEST(TestVerb, JudgesNamesAsWindowsWould) {
    ScratchDir dir;
    // A name this system can create but Windows cannot; only a foreign writer would store it.
    std::FILE* out = OpenFile(dir / "star.fpk", "w+b");
    ASSERT_NE(out, nullptr);
    PackageWriter writer(out, 1024);
    PackageEntryHead head;
    head.name = "a*b.txt";
    const uint8_t data[] = {1, 2, 3};
    const bool written = writer.AddFile(head, data, sizeof data) && writer.Finish();
    std::fclose(out);
    ASSERT_TRUE(written) << writer.error();
    const ToolRun run = RunTool({"test", dir.Arg("star.fpk")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "a*b.txt")) << run.err;
}
