// How filespack speaks: usage mistakes, damaged and overlong packages, --json, and the manual
// page and completion that must follow the options --help shows.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "json_reader.h"
#include "tool_test_support.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/output/progress_bar.h"
#include "tools/filespack/command_line/size_argument.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Two entries, so that a cut in the second leaves the first to be listed.
void MakeSource(const ScratchDir& dir) {
    std::filesystem::create_directories(dir / "src");
    WriteBytes(dir / "src/a.txt", PatternBytes(3000, 1));
    WriteBytes(dir / "src/b.txt", PatternBytes(9000, 2));
}

std::vector<uint8_t> MakePackage(const ScratchDir& dir) {
    MakeSource(dir);
    const ToolRun run =
        RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src"), "--block-size", "1Ki"});
    EXPECT_EQ(run.code, 0) << run.err;
    return ReadBytes(dir / "p.fpk");
}

bool HasKey(const JsonValue& object, const std::string& key) {
    return std::get<std::shared_ptr<JsonObject>>(object.value)->count(key) != 0;
}

}  // namespace

TEST(Voice, UsageMistakesAreNamedInTheToolsOwnWords) {
    ScratchDir dir;
    MakeSource(dir);
    const std::string out = dir.Arg("x.fpk");
    const std::string in = dir.Arg("src");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;  // a part of the message; "" for none
        std::string out;  // a part of the standard output; "" for any
    };
    const Case cases[] = {
        {{}, 2, "filespack: no verb given", ""},
        {{"pack", out, in}, 2, "filespack: 'pack' is not a verb; did you mean 'create'?", ""},
        {{"extrcat", out}, 2, "did you mean 'extract'?", ""},
        {{"lsit", out}, 2, "did you mean 'list'?", ""},
        {{"frobnicate"}, 2, "the verbs are create, exe, list, test and extract", ""},
        {{"-x", "list"}, 2, "filespack: unknown option '-x'; a verb comes first", ""},
        {{"help"}, 0, "", "filespack help VERB"},
        {{"help", "create"}, 0, "", "--block-size"},
        {{"help", "extract"}, 0, "", "--ignore-integrity"},
        {{"help", "bogus"}, 2, "'bogus' is not a verb", ""},
        {{"create", out}, 2, "filespack create: INPUT is required (see 'filespack help create')",
         ""},
        {{"list", out, "--bogus"}, 2, "filespack list: ", ""},
        {{"create", out, in, "--block-size", "abc"}, 2, "\"abc\" is not a size", ""},
        {{"create", out, in, "--block-size", "1.5k"}, 2, "unknown unit \".5k\"", ""},
        {{"create", out, in, "--block-size", "200K"}, 2, "unknown unit \"K\"", ""},
        {{"create", out, in, "--block-size", "4Mi"}, 2, "is outside 1Ki (1024) to 4M", ""},
        {{"create", out, in, "--block-size", "1k"}, 2, "is outside", ""},
        {{"create", out, in, "--block-size", "99999999999999999999k"}, 2, "is outside", ""},
        {{"create", out, in, "--block-size", "1Ki"}, 0, "", ""},
        {{"create", out, in, "--block-size", "200k"}, 0, "", ""},
        {{"create", out, in, "--block-size", "4M"}, 0, "", ""},
        {{"create", out, in, "--block-size", "1Mi"}, 0, "", ""},
        {{"list", dir.Arg("none.fpk")}, 1, "filespack list: ", ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.args);
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        EXPECT_EQ(run.code, c.code) << shown << run.err;
        if (!c.err.empty()) {
            EXPECT_TRUE(Has(run.err, c.err)) << shown << run.err;
        }
        if (!c.out.empty()) {
            EXPECT_TRUE(Has(run.out, c.out)) << shown << run.out;
        }
        // One voice: every line on the error stream is the tool's.
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.starts_with("filespack")) << shown << line;
        }
    }
}

TEST(Voice, SizesAreReadExactly) {
    int64_t value = 0;
    EXPECT_EQ(ParseSize("200k", 0, 1 << 30, value), "");
    EXPECT_EQ(value, 200000);
    EXPECT_EQ(ParseSize("3Mi", 0, 1 << 30, value), "");
    EXPECT_EQ(value, 3 << 20);
    for (const char* wrong : {"", "k", "-1", "+5", " 5", "5 k", "5kk", "0x10"}) {
        EXPECT_NE(ParseSize(wrong, 0, 1 << 30, value), "") << wrong;
    }
    for (const int64_t size : {1024, 200000, 4000000, 65536, 1023, 3000000}) {
        EXPECT_EQ(ParseSize(FormatSize(size), 0, 1 << 30, value), "") << size;
        EXPECT_EQ(value, size);
    }
}

TEST(Voice, EnglishComesBeforeTheEnginesWords) {
    ScratchDir dir;
    WriteBytes(dir / "not.fpk", PatternBytes(5000, 3));
    const ToolRun run = RunTool({"test", dir.Arg("not.fpk")});
    EXPECT_EQ(run.code, 1);
    const size_t english = run.err.find("not a package");
    const size_t engine = run.err.find("書式エラー！");
    ASSERT_NE(english, std::string::npos) << run.err;
    ASSERT_NE(engine, std::string::npos) << run.err;
    EXPECT_LT(english, engine) << run.err;
    EXPECT_TRUE(run.err.starts_with("filespack test: ")) << run.err;
}

TEST(Voice, ListShowsACutPackageUpToTheCut) {
    ScratchDir dir;
    auto cut = MakePackage(dir);
    cut.resize(cut.size() - 2000);  // inside b.txt's chunks
    WriteBytes(dir / "cut.fpk", cut);
    for (const bool json : {false, true}) {
        std::vector<std::string> args{"list", dir.Arg("cut.fpk")};
        if (json) args.push_back("--json");
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(Has(run.out, "a.txt")) << run.out;
        EXPECT_TRUE(Has(run.err, "truncated")) << run.err;
        if (json) {
            const JsonValue listed = JsonReader::Parse(run.out);
            EXPECT_EQ(listed["files"].array().size(), 1u);
            EXPECT_TRUE(Has(listed["error"].text(), "b.txt"));
        } else {
            EXPECT_FALSE(Has(run.out, "b.txt")) << run.out;
        }
    }
}

TEST(Voice, BytesAfterThePackageAreAWarning) {
    ScratchDir dir;
    auto twice = MakePackage(dir);
    const size_t length = twice.size();
    twice.insert(twice.end(), twice.begin(), twice.end());
    WriteBytes(dir / "twice.fpk", twice);
    for (const std::string verb : {"list", "test"}) {
        const ToolRun run = RunTool({verb, dir.Arg("twice.fpk")});
        EXPECT_EQ(run.code, 0) << verb << run.err;
        EXPECT_TRUE(Has(run.err, "filespack " + verb + ": warning:")) << run.err;
        EXPECT_TRUE(Has(run.err, std::to_string(length) + " bytes follow")) << run.err;
        const ToolRun json = RunTool({verb, "--json", dir.Arg("twice.fpk")});
        EXPECT_EQ(json.code, 0);
        EXPECT_EQ(JsonReader::Parse(json.out)["trailing_bytes"].number(),
                  static_cast<double>(length));
    }
    // A package alone says nothing more.
    const ToolRun alone = RunTool({"test", "--json", dir.Arg("p.fpk")});
    EXPECT_EQ(alone.err, "");
    EXPECT_FALSE(HasKey(JsonReader::Parse(alone.out), "trailing_bytes"));
}

TEST(Voice, TestAndExtractGiveOneJsonObject) {
    ScratchDir dir;
    const auto good = MakePackage(dir);
    auto garbled = WithoutIntegrityRecord(good);
    const size_t first_chunk_body = 36 + 1 + 5 + 4 + 28 + 4;  // entry "a.txt"
    for (size_t i = first_chunk_body; i < first_chunk_body + 8; ++i) garbled[i] ^= 0xA5;
    WriteBytes(dir / "garbled.fpk", garbled);
    auto damaged = good;
    damaged[100] ^= 1;
    WriteBytes(dir / "damaged.fpk", damaged);

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string integrity;
        std::string engine_message;  // "" when the run fails before the engine, or succeeds
    };
    const Case cases[] = {
        {{"test", dir.Arg("p.fpk")}, 0, "verified", ""},
        {{"extract", dir.Arg("p.fpk"), "-o", dir.Arg("out")}, 0, "verified", ""},
        {{"extract", dir.Arg("p.fpk"), "-o", dir.Arg("out")}, 1, "verified", ""},  // in the way
        {{"test", dir.Arg("garbled.fpk")}, 1, "none", "解凍エラー！ a.txt"},
        {{"extract", dir.Arg("garbled.fpk"), "-o", dir.Arg("g")}, 1, "none", "解凍エラー！ a.txt"},
        {{"test", dir.Arg("damaged.fpk")}, 1, "mismatch", ""},
        {{"test", dir.Arg("missing.fpk")}, 1, "", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, c.code) << args[1] << run.err;
        const JsonValue report = JsonReader::Parse(run.out);  // nothing but the object
        EXPECT_EQ(report["outcome"].text(), c.code == 0 ? "ok" : "failed");
        EXPECT_EQ(report["exit_code"].number(), c.code);
        if (!c.integrity.empty()) {
            EXPECT_EQ(report["integrity"].text(), c.integrity);
        }
        if (c.code == 0) {
            EXPECT_EQ(report["files"].number(), 2);
            EXPECT_EQ(report["total_size"].number(), 12000);
            EXPECT_FALSE(HasKey(report, "error"));
            continue;
        }
        const JsonValue& error = report["error"];
        EXPECT_FALSE(error["explanation"].text().empty());
        EXPECT_TRUE(Has(run.err, error["explanation"].text())) << run.err;
        if (c.engine_message.empty()) {
            EXPECT_FALSE(HasKey(error, "engine_message"));
        } else {
            EXPECT_EQ(error["engine_message"].text(), c.engine_message);
        }
    }
}

TEST(Voice, ProgressCountsUnpackedBytes) {
    ScratchDir dir;
    const auto package = MakePackage(dir);
    const LayoutScan scan = ReadPackageLayout(package);
    ASSERT_TRUE(scan.ok) << scan.error;
    std::ostringstream drawn;
    ProgressBar bar(drawn, true, "testing");
    bar.CountUnpacked(scan.layout);
    const auto length = static_cast<int64_t>(package.size());
    const LayoutEntry& b = scan.layout.entries[1];
    bar.Update(b.chunks_offset, length);  // a.txt done, b.txt not begun
    EXPECT_TRUE(Has(drawn.str(), " 25% 2.9 KiB / 11.7 KiB")) << drawn.str();
    bar.Update(length, length);
    bar.Finish();
    EXPECT_TRUE(Has(drawn.str(), "100% 11.7 KiB / 11.7 KiB")) << drawn.str();
}

#ifdef FILESPACK_SOURCE_DIR
// Every option that a verb's --help offers is in the manual page and in the completion.
TEST(Voice, ManualPageAndCompletionKnowEveryOption) {
    auto read = [](const char* name) {
        std::ifstream in(std::filesystem::path(FILESPACK_SOURCE_DIR) / "tools/filespack/share" /
                         name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    std::string manual = read("filespack.1");
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    const std::string completion = read("filespack.bash");
    ASSERT_FALSE(manual.empty());
    ASSERT_FALSE(completion.empty());
    const std::regex option(R"(--[a-z][a-z-]*)");
    for (const std::string verb : {"create", "exe", "list", "test", "extract"}) {
        const std::string help = RunTool({"help", verb}).out;
        std::set<std::string> options;
        for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
            options.insert(it->str());
        }
        EXPECT_GT(options.size(), 1u) << verb;
        for (const auto& o : options) {
            EXPECT_TRUE(Has(manual, o)) << verb << " " << o;
            EXPECT_TRUE(Has(completion, o)) << verb << " " << o;
        }
        EXPECT_TRUE(Has(completion, verb));
    }
}
#endif
