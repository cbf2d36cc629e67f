// Folder trees through create -r, list and extract: order, names with folders, what is refused,
// and flat input that must come out exactly as before.
#include <gtest/gtest.h>

#include <algorithm>

#include "json_reader.h"
#include "tool_test_support.h"
#include "tools/filespack/files/file_names.h"

namespace {

void Put(const ScratchDir& dir, const std::string& utf8, const std::string& text) {
    const std::filesystem::path path = dir / utf8;
    std::filesystem::create_directories(path.parent_path());
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> ListedNames(const ScratchDir& dir, const std::string& package) {
    const ToolRun list = RunTool({"list", "--json", dir.Arg(package)});
    EXPECT_EQ(list.code, 0) << list.err;
    const JsonValue listing = JsonReader::Parse(list.out);
    std::vector<std::string> names;
    for (const auto& file : listing["files"].array()) names.push_back(file["name"].text());
    return names;
}

bool Mentions(const ToolRun& run, const std::string& part) {
    return run.err.find(part) != std::string::npos;
}

}  // namespace

TEST(Tree, FilesBeforeSubfoldersDepthFirstAndBackAgain) {
    ScratchDir dir;
    std::string deep = "in";
    for (int part = 0; part < 15; ++part)
        deep += "/" + std::string(1, static_cast<char>('a' + part));
    for (const std::string& name :
         std::vector<std::string>{"in/z.txt", "in/b/x.txt", "in/b/c/y.txt", "in/a.txt",
                                  "in/表/ソ/能.txt", "in/b/a.txt", deep + "/leaf.txt"}) {
        Put(dir, name, "<" + name + ">");
    }
    std::filesystem::create_directories(dir / "in/empty/folder");
    const ToolRun create = RunTool({"create", "-q", "-r", dir.Arg("p.fpk"), dir.Arg("in")});
    ASSERT_EQ(create.code, 0) << create.err;

    std::string deep_name = deep.substr(3) + "/leaf.txt";
    std::replace(deep_name.begin(), deep_name.end(), '/', '\\');
    const std::vector<std::string> expected = {
        "a.txt", "z.txt", deep_name, "b\\a.txt", "b\\x.txt", "b\\c\\y.txt", "表\\ソ\\能.txt"};
    EXPECT_EQ(ListedNames(dir, "p.fpk"), expected);

    const ToolRun extract = RunTool({"extract", "-q", dir.Arg("p.fpk"), "-o", dir.Arg("out")});
    ASSERT_EQ(extract.code, 0) << extract.err;
    for (const std::string& name :
         {std::string("b/c/y.txt"), std::string("表/ソ/能.txt"), deep.substr(3) + "/leaf.txt"}) {
        const auto bytes = ReadBytes(dir / ("out/" + name));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<in/" + name + ">");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out/empty"));
}

// A stream package holds files of one kind together, which sends the engine back and forth
// between folders; the piece methods keep the walk's order.
TEST(Tree, AStreamGroupsFilesByKindAcrossFolders) {
    ScratchDir dir;
    const std::vector<std::string> files = {"in/README",      "in/a.txt",     "in/b.dll",
                                            "in/.cfg",        "in/sub/c.txt", "in/sub/d.Dll",
                                            "in/sub/x/E.TXT", "in/sub/x/f.h", "in/z.dll.txt"};
    for (const std::string& name : files) Put(dir, name, "<" + name + ">");
    const std::vector<std::string> walked = {".cfg",       "README",        "a.txt",
                                             "b.dll",      "z.dll.txt",     "sub\\c.txt",
                                             "sub\\d.Dll", "sub\\x\\E.TXT", "sub\\x\\f.h"};
    const std::vector<std::string> grouped = {".cfg",       "README",      "b.dll",
                                              "sub\\d.Dll", "sub\\x\\f.h", "a.txt",
                                              "z.dll.txt",  "sub\\c.txt",  "sub\\x\\E.TXT"};
    for (const char* method : {"classic", "zstd", "stream"}) {
        SCOPED_TRACE(method);
        const std::string package = std::string(method) + ".fpk";
        const ToolRun create =
            RunTool({"create", "-q", "-r", "--method", method, dir.Arg(package), dir.Arg("in")});
        ASSERT_EQ(create.code, 0) << create.err;
        EXPECT_EQ(ListedNames(dir, package), std::string(method) == "stream" ? grouped : walked);
        const std::string out = std::string("out-") + method;
        const ToolRun extract = RunTool({"extract", "-q", dir.Arg(package), "-o", dir.Arg(out)});
        ASSERT_EQ(extract.code, 0) << extract.err;
        for (const std::string& name : files) {
            const auto bytes = ReadBytes(dir / (out + name.substr(2)));
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<" + name + ">");
        }
    }
}

TEST(Tree, WithoutRecursiveASubfolderIsRefusedAndFlatInputGivesTheSameBytes) {
    ScratchDir dir;
    Put(dir, "in/a.txt", "a");
    Put(dir, "in/sub/b.txt", "b");
    const ToolRun refused = RunTool({"create", dir.Arg("p.fpk"), dir.Arg("in")});
    EXPECT_NE(refused.code, 0);
    EXPECT_TRUE(Mentions(refused, "-r")) << refused.err;

    std::filesystem::remove_all(dir / "in/sub");
    ASSERT_EQ(RunTool({"create", "-q", "--mtime", "0", dir.Arg("flat.fpk"), dir.Arg("in")}).code,
              0);
    ASSERT_EQ(RunTool({"create", "-q", "-r", "--mtime", "0", dir.Arg("r.fpk"), dir.Arg("in")}).code,
              0);
    EXPECT_EQ(ReadBytes(dir / "flat.fpk"), ReadBytes(dir / "r.fpk"));
}

#ifndef _WIN32
// Each refused in one run, naming the file or folder; nothing is written. (Only a file system
// that tells case apart and takes any name can hold such a tree.)
TEST(Tree, WhatWindowsWouldMergeOrRefuseIsReportedAtOnce) {
    ScratchDir dir;
    Put(dir, "in/Data/x.txt", "1");
    Put(dir, "in/data/y.txt", "2");
    Put(dir, "in/lib", "a file");
    Put(dir, "in/LIB/z.txt", "3");
    Put(dir, "in/con/w.txt", "4");
    Put(dir, "in/ok/bad*.txt", "5");
    std::string deep = "in";
    for (int part = 0; part < 16; ++part) deep += "/d";
    Put(dir, deep + "/far.txt", "6");
    const ToolRun create = RunTool({"create", "-r", dir.Arg("p.fpk"), dir.Arg("in")});
    EXPECT_NE(create.code, 0);
    for (const std::string& part :
         {std::string("spell one folder two ways"), std::string("both a file and a folder"),
          std::string("device CON"), std::string("bad*.txt"), std::string("nest deeper")}) {
        EXPECT_TRUE(Mentions(create, part)) << part << "\n" << create.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "p.fpk"));
}
#endif

#ifndef _WIN32
// A link where a name needs a folder stops extract before that file, names the link, and
// nothing is written through it.
TEST(Tree, ExtractNeverFollowsALinkOnTheWay) {
    ScratchDir dir;
    Put(dir, "in/d/x.txt", "x");
    ASSERT_EQ(RunTool({"create", "-q", "-r", dir.Arg("p.fpk"), dir.Arg("in")}).code, 0);
    std::filesystem::create_directories(dir / "out");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out/d");
    const ToolRun extract = RunTool({"extract", dir.Arg("p.fpk"), "-o", dir.Arg("out")});
    EXPECT_NE(extract.code, 0);
    EXPECT_TRUE(Mentions(extract, "is a link, which extract never follows")) << extract.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
}
#endif
