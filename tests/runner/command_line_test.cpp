// The command line as the program reads it. Byte escapes stand for Shift-JIS characters: 0x95
// 0x5C is "表", whose second byte is a backslash.
#include "runner/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, SplitsAsTheCRuntimeDoes) {
    const struct {
        const char* text;
        Arguments expected;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"a  b\tc", {"a", "b", "c"}},
        {"\"C:\\Program Files\\x\" y", {"C:\\Program Files\\x", "y"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\" x", {"", "x"}},
        {"a\\\\b c\\", {"a\\\\b", "c\\"}},                // backslashes before no quote stay
        {"\\\"a", {"\"a"}},                               // an odd run escapes the quote
        {"\"a\\\\\" b", {"a\\", "b"}},                    // an even run halves and the quote closes
        {"\"a\"\"b\" c", {"a\"b", "c"}},                  // "" inside quotes is one quote
        {"\"D:\\\x95\\\" next", {"D:\\\x95\\", "next"}},  // 表 then a closing quote
        {"\x95\\\"x y\"", {"\x95\\x y"}},
        {"\x95", {"\x95"}},  // a lead byte at the very end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.text), c.expected) << c.text;
    }
}

TEST(ParseCommandLine, ReadsTheSwitchesInAnyCaseAndPassesTheRestVerbatim) {
    const CommandLine line = ParseCommandLine(
        "/s /SILENT /unpack=\"D:\\my files\" /Log=x.log /? /UNPACK=last --   /quiet  \"a  b\" /S ");
    EXPECT_TRUE(line.unattended);
    EXPECT_TRUE(line.unpack_only);
    EXPECT_EQ(line.unpack_folder, "last");
    EXPECT_EQ(line.log_file, "x.log");
    EXPECT_TRUE(line.show_usage);
    EXPECT_TRUE(line.passes_arguments);
    EXPECT_EQ(line.setup_arguments, "/quiet  \"a  b\" /S ");

    EXPECT_FALSE(ParseCommandLine("/SILENT /Sx S /UNPACKED /LOGS").has_switches);
    EXPECT_EQ(ParseCommandLine("/UNPACK=D:\\x /unpack").unpack_folder, "");
    EXPECT_FALSE(ParseCommandLine("-- /S /UNPACK").unattended);
}

// What a batch file's unset %DEST% gives: never "beside the program" or "no log".
TEST(ParseCommandLine, EmptySwitchValuesAreMarked) {
    for (const char* tail :
         {"/S /UNPACK=", "/LOG= /S", "/unpack=\"\"", "/LOG=x /log=", "/UNPACK= --"}) {
        EXPECT_TRUE(ParseCommandLine(tail).empty_value) << tail;
    }
    for (const char* tail : {"/S /UNPACK", "/UNPACK=x /LOG=y", "-- /UNPACK= /LOG="}) {
        EXPECT_FALSE(ParseCommandLine(tail).empty_value) << tail;
    }
}

TEST(ParseCommandLine, RelaunchArgument) {
    const struct {
        const char* tail;
        bool relaunch;
    } cases[] = {
        {"/RUNAS", true},
        {"x/RUNASy", true},  // no switches: anywhere, as it always was
        {"/runas", false},
        {"/S /RUNAS", true},
        {"/S x/RUNASy", false},
        {"/LOG=D:\\logs/RUNAS.txt", false},  // with switches only an argument of its own
        {"/UNPACK=\"/RUNAS\\x\"", false},
        {"-- /RUNAS", false},
        {"/RUNAS -- /quiet", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseCommandLine(c.tail).relaunch, c.relaunch) << c.tail;
    }
}

TEST(RelaunchTail, CarriesTheSwitchesToTheCopy) {
    // Quoted paths that end in a backslash, and in 表 (second byte 0x5C).
    const CommandLine line = ParseCommandLine(
        "/S /UNPACK=\"D:\\new folder\\\\\" /LOG=\"D:\\my logs\\\x95\\\" -- /quiet \"x y\"");
    const std::string tail = RelaunchTail(line);
    const CommandLine copy = ParseCommandLine(tail.c_str());
    EXPECT_TRUE(copy.relaunch) << tail;
    EXPECT_TRUE(copy.unattended);
    EXPECT_EQ(copy.unpack_folder, "D:\\new folder\\");
    EXPECT_EQ(copy.log_file, "D:\\my logs\\\x95\\");
    EXPECT_EQ(copy.setup_arguments, "/quiet \"x y\"");

    EXPECT_EQ(RelaunchTail(ParseCommandLine("")), "/RUNAS");
    EXPECT_EQ(RelaunchTail(ParseCommandLine("/S --")), "/RUNAS /S --");
}

}  // namespace
