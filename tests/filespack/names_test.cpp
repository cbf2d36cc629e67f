// Names as people see them and as Windows judges them: nothing a name holds reaches the
// terminal unescaped, case is compared as Windows compares it, and every bad name is named.
#include <gtest/gtest.h>

#include <algorithm>

#include "package/name_encoding.h"
#include "package/package_writer.h"
#include "tool_test_support.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/output/text_format.h"

namespace {

std::string Sjis(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(Utf8ToShiftJis(utf8, out)) << utf8;
    return out;
}

// Swaps stand-in names for names no writer stores (same lengths), dropping the integrity
// record that the swap would break.
void SwapNames(const std::filesystem::path& file,
               const std::vector<std::pair<std::string, std::string>>& swaps) {
    std::vector<uint8_t> package = WithoutIntegrityRecord(ReadBytes(file));
    for (const auto& [from, to] : swaps) {
        ASSERT_EQ(from.size(), to.size());
        const auto at = std::search(package.begin(), package.end(), from.begin(), from.end());
        ASSERT_NE(at, package.end()) << from;
        std::copy(to.begin(), to.end(), at);
    }
    WriteBytes(file, package);
}

size_t CountLines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(Names, DisplayEscapesControlsAndBackslashButJsonTextDoesNot) {
    struct Case {
        std::string stored, shown;
    };
    const Case cases[] = {
        {"a\x1b[2J\x1b]0;pwned\x07.txt", "a\\x1B[2J\\x1B]0;pwned\\x07.txt"},
        {"line\nforged", "line\\x0Aforged"},
        {"del\x7f", "del\\x7F"},
        {"c\\x1B", "c/x1B"},  // a folder never looks like an escape
        {"a/b\\c", "a\\x2Fb/c"},  // nor a slash inside a name like a folder
        {"\x95\x5c.txt", "表.txt"},
        {"\x81", "\\x81"},  // no Shift-JIS character: the bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayName(c.stored), c.shown) << c.shown;
    }
    // JSON escapes for itself, so its text is the name as it is.
    EXPECT_EQ(NameText("a\x1b\n\\.txt"), "a\x1b\n\\.txt");
    EXPECT_EQ(NameText("\x95\x5c"), "表");
    EXPECT_EQ(NameText("\x85\x40\\"), "\\x85@\\x5C");
}

TEST(Names, ControlCharactersInNamesReachNoTerminal) {
    ScratchDir dir;
    const std::string escape = "a\x1b[2J\x1b]0;pwned\x07.txt";
    const std::string newline = "b\nforged.txt";
    WritePackage(dir / "evil.fpk", {"a~[2J~]0;pwned~.txt", "b~forged.txt"});
    SwapNames(dir / "evil.fpk", {{"a~[2J~]0;pwned~.txt", escape}, {"b~forged.txt", newline}});

    const ToolRun list = RunTool({"list", dir.Arg("evil.fpk")});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(CountLines(list.out), 4u) << list.out;  // heading, two entries, summary
    EXPECT_TRUE(Has(list.out, "a\\x1B[2J\\x1B]0;pwned\\x07.txt")) << list.out;
    EXPECT_TRUE(Has(list.out, "b\\x0Aforged.txt")) << list.out;

    const ToolRun json = RunTool({"list", "--json", dir.Arg("evil.fpk")});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_TRUE(Has(json.out, "\"name\": \"a\\u001B[2J\\u001B]0;pwned\\u0007.txt\"")) << json.out;
    EXPECT_TRUE(Has(json.out, "\"name\": \"b\\nforged.txt\"")) << json.out;

    const ToolRun test = RunTool({"test", dir.Arg("evil.fpk")});
    const ToolRun extract = RunTool({"extract", dir.Arg("evil.fpk"), "-o", dir.Arg("out")});
    EXPECT_EQ(test.code, 1);
    EXPECT_EQ(extract.code, 1);
    for (const ToolRun* run : {&list, &json, &test, &extract}) {
        const std::string all = run->out + run->err;
        EXPECT_EQ(all.find_first_of("\x1b\x07"), std::string::npos) << all;
    }
    EXPECT_TRUE(Has(test.err, "a\\x1B[2J")) << test.err;
}

TEST(Names, CaseThatWindowsIgnoresBeyondAsciiMakesAClash) {
    ScratchDir dir;
    const std::pair<std::string, std::string> pairs[] = {{"first.txt", "FIRST.TXT"},
                                                         {"ａ.txt", "Ａ.txt"},
                                                         {"α.txt", "Α.txt"},
                                                         {"д.txt", "Д.txt"},
                                                         {"ⅰ.txt", "Ⅰ.txt"}};
    int n = 0;
    for (const auto& [lower, upper] : pairs) {
        const std::string package = "pair" + std::to_string(++n) + ".fpk";
        WritePackage(dir / package, {Sjis("other.txt"), Sjis(lower), Sjis(upper)});
        const ToolRun test = RunTool({"test", dir.Arg(package)});
        EXPECT_EQ(test.code, 1) << lower;
        EXPECT_TRUE(Has(test.err, lower) && Has(test.err, upper)) << test.err;
#ifndef _WIN32
        // Only a file system that tells them apart can hold both.
        const std::string folder = "in" + std::to_string(n);
        std::filesystem::create_directory(dir / folder);
        WriteBytes(dir / (folder + "/" + lower), PatternBytes(10, 1));
        WriteBytes(dir / (folder + "/" + upper), PatternBytes(10, 2));
        const ToolRun create = RunTool({"create", dir.Arg("x.fpk"), dir.Arg(folder)});
        EXPECT_EQ(create.code, 1) << lower;
        EXPECT_TRUE(Has(create.err, lower) && Has(create.err, upper)) << create.err;
#endif
    }
    // Look-alikes that Windows keeps apart are no clash.
    WritePackage(dir / "apart.fpk", {Sjis("a.txt"), Sjis("ａ.txt"), Sjis("ア"), Sjis("ｱ")});
    const ToolRun apart = RunTool({"test", dir.Arg("apart.fpk")});
    EXPECT_EQ(apart.code, 0) << apart.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.fpk"));
}

TEST(Names, CreateNamesEveryBadFileWithItsRuleAtOnce) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "in");
    std::vector<std::string> bad = {"¥.txt", "😀.txt"};
#ifndef _WIN32
    for (const char* name : {"a*b.txt", "CON .txt", "x.", "esc\x1b.txt"}) bad.push_back(name);
#endif
    WriteBytes(dir / "in/good.txt", PatternBytes(10, 1));
    for (const auto& name : bad) WriteBytes(dir / ("in/" + name), PatternBytes(10, 2));
    const ToolRun run = RunTool({"create", dir.Arg("p.fpk"), dir.Arg("in")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(CountLines(run.err), bad.size()) << run.err;
    EXPECT_TRUE(Has(run.err, "\"¥\" (U+00A5)")) << run.err;
    EXPECT_TRUE(Has(run.err, "U+1F600")) << run.err;
    EXPECT_FALSE(Has(run.err, "\x1b")) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "p.fpk"));
}

TEST(Names, StoredNamesThatAreNoShiftJisAreExplainedByTheirBytes) {
    ScratchDir dir;
    WritePackage(dir / "bytes.fpk", {"zz.txt"});
    SwapNames(dir / "bytes.fpk", {{"zz.txt", "\x85\x40.txt"}});
    const ToolRun test = RunTool({"test", dir.Arg("bytes.fpk")});
    EXPECT_EQ(test.code, 1);
    EXPECT_TRUE(Has(test.err, "0x85 0x40")) << test.err;
    EXPECT_FALSE(Has(test.err, "the character \\")) << test.err;
}
