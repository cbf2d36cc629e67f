// The command line as the program reads it, in UTF-8. Byte escapes keep the tests independent of
// the compiler's character set: E8 A1 A8 is "表".
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
        {"a\\\\b c\\", {"a\\\\b", "c\\"}},  // backslashes before no quote stay
        {"\\\"a", {"\"a"}},                 // an odd run escapes the quote
        {"\"a\\\\\" b", {"a\\", "b"}},      // an even run halves and the quote closes
        {"\"a\"\"b\" c", {"a\"b", "c"}},    // "" inside quotes is one quote
        {"\"D:\\\xE8\xA1\xA8\" next", {"D:\\\xE8\xA1\xA8", "next"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.text), c.expected) << c.text;
    }
}

TEST(CommandTail, SkipsTheProgramAsTheStartUpCodeDoes) {
    const struct {
        const char* line;
        const char* tail;
    } cases[] = {
        {"prog.exe /S", "/S"},
        {"\"C:\\Zo\xC3\xAB \xE7\x8E\x8B\\p.exe\"  /S /RUNAS", "/S /RUNAS"},
        {"\"C:\\a b\\/RUNAS.exe\"", ""},  // the program's own path is no argument
        {"C:\\x\\p.exe\t/UNPACK", "/UNPACK"},
        {"\"unclosed /S", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(CommandTail(c.line), c.tail) << c.line;
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
    // Quoted paths that end in a backslash, and in 表.
    const CommandLine line = ParseCommandLine(
        "/S /UNPACK=\"D:\\new folder\\\\\" /LOG=\"D:\\my logs\\\xE8\xA1\xA8\" -- /quiet \"x y\"");
    const std::string tail = RelaunchTail(line);
    const CommandLine copy = ParseCommandLine(tail.c_str());
    EXPECT_TRUE(copy.relaunch) << tail;
    EXPECT_TRUE(copy.unattended);
    EXPECT_EQ(copy.unpack_folder, "D:\\new folder\\");
    EXPECT_EQ(copy.log_file, "D:\\my logs\\\xE8\xA1\xA8");
    EXPECT_EQ(copy.setup_arguments, "/quiet \"x y\"");

    EXPECT_EQ(RelaunchTail(ParseCommandLine("")), "/RUNAS");
    EXPECT_EQ(RelaunchTail(ParseCommandLine("/S --")), "/RUNAS /S --");
}

}  // namespace
