// The integrity record through the verbs: damage is never success, and a damaged package leaves
// nothing behind unless the user asks to salvage it.
#include <gtest/gtest.h>

#include "json_reader.h"
#include "tool_test_support.h"

namespace {

bool Mentions(const ToolRun& run, const std::string& text) {
    return run.err.find(text) != std::string::npos || run.out.find(text) != std::string::npos;
}

std::vector<uint8_t> SmallPackage(const ScratchDir& dir) {
    std::filesystem::create_directories(dir / "src");
    WriteBytes(dir / "src/a.txt", PatternBytes(150, 1));
    WriteBytes(dir / "src/b.txt", PatternBytes(5, 2));
    const ToolRun run = RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")});
    EXPECT_EQ(run.code, 0) << run.err;
    return ReadBytes(dir / "p.fpk");
}

// Byte 8 of the first entry's last-write time: the engine alone would extract this happily.
constexpr size_t kFirstWriteTime = 36 + 1 + 5 + 4 + 4 + 8 + 8;

}  // namespace

TEST(Integrity, EveryFlipAndEveryCutFailsTestAndExtractLeavesNothing) {
    ScratchDir dir;
    const std::vector<uint8_t> good = SmallPackage(dir);
    ASSERT_LT(good.size(), 400u);
    const std::string damaged = dir.Arg("d.fpk");
    const std::string out = dir.Arg("out");
    auto expect_refused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        WriteBytes(dir / "d.fpk", bytes);
        EXPECT_EQ(RunTool({"test", "-q", damaged}).code, 1) << what;
        EXPECT_EQ(RunTool({"extract", "-q", damaged, "-o", out}).code, 1) << what;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << what;
        std::filesystem::remove_all(dir / "out");
    };
    for (size_t at = 0; at < good.size(); ++at) {
        std::vector<uint8_t> flipped = good;
        flipped[at] = static_cast<uint8_t>(flipped[at] ^ (1u << (at % 8)));
        expect_refused(flipped, "flip at " + std::to_string(at));
    }
    for (size_t kept = 0; kept < good.size(); ++kept) {
        expect_refused(std::vector<uint8_t>(good.begin(), good.begin() + kept),
                       "cut to " + std::to_string(kept));
    }
}

TEST(Integrity, VerbsSayWhatTheyFound) {
    ScratchDir dir;
    const std::vector<uint8_t> good = SmallPackage(dir);
    const ToolRun tested = RunTool({"test", dir.Arg("p.fpk")});
    EXPECT_EQ(tested.code, 0) << tested.err;
    EXPECT_TRUE(Mentions(tested, "integrity: verified")) << tested.out;
    const ToolRun listed = RunTool({"list", "--json", dir.Arg("p.fpk")});
    EXPECT_EQ(JsonReader::Parse(listed.out)["integrity"].text(), "verified");

    // An older package: as before, unless a record is asked for.
    WriteBytes(dir / "old.fpk", WithoutIntegrityRecord(good));
    const ToolRun old = RunTool({"test", dir.Arg("old.fpk")});
    EXPECT_EQ(old.code, 0) << old.err;
    EXPECT_TRUE(Mentions(old, "no integrity record")) << old.out;
    EXPECT_EQ(JsonReader::Parse(RunTool({"list", "--json", dir.Arg("old.fpk")}).out)["integrity"].text(),
              "none");
    EXPECT_EQ(RunTool({"test", "--require-integrity", dir.Arg("old.fpk")}).code, 1);
    EXPECT_EQ(RunTool({"extract", "--require-integrity", dir.Arg("old.fpk"), "-o",
                       dir.Arg("strict")})
                  .code,
              1);
    EXPECT_FALSE(std::filesystem::exists(dir / "strict"));
    EXPECT_EQ(RunTool({"extract", "-q", dir.Arg("old.fpk"), "-o", dir.Arg("old")}).code, 0);

    std::vector<uint8_t> flipped = good;
    flipped[kFirstWriteTime] ^= 0x40;
    WriteBytes(dir / "bad.fpk", flipped);
    const ToolRun bad = RunTool({"test", dir.Arg("bad.fpk")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(Mentions(bad, dir.Arg("bad.fpk") + ": integrity: MISMATCH")) << bad.err;
    // list still shows what is there, and says it is damaged.
    const ToolRun bad_list = RunTool({"list", dir.Arg("bad.fpk")});
    EXPECT_EQ(bad_list.code, 1);
    EXPECT_TRUE(Mentions(bad_list, "a.txt") && Mentions(bad_list, "MISMATCH")) << bad_list.out;

    // Salvage: the files come out, with a warning, and the run still fails.
    const ToolRun salvaged =
        RunTool({"extract", "--ignore-integrity", dir.Arg("bad.fpk"), "-o", dir.Arg("salvage")});
    EXPECT_EQ(salvaged.code, 1);
    EXPECT_TRUE(Mentions(salvaged, "warning")) << salvaged.err;
    EXPECT_EQ(ReadBytes(dir / "salvage/a.txt"), PatternBytes(150, 1));
}
