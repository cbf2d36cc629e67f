// Path handling on UTF-8 text. Byte escapes keep the tests independent of the compiler's
// character set: E8 A1 A8 is "表", whose Shift-JIS form ends in a backslash byte.
#include "runner/path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Trimmed(std::string path) {
    path.push_back('\0');
    TrimLastComponent(path.data());
    return path.c_str();
}

std::string WithoutExtension(std::string path) {
    path.push_back('\0');
    CutExtension(path.data());
    return path.c_str();
}

TEST(TrimLastComponent, CutsAtTheRealSeparator) {
    EXPECT_EQ(Trimmed("C:\\WINDOWS\\UnpackDir3\\*.*"), "C:\\WINDOWS\\UnpackDir3");
    EXPECT_EQ(Trimmed("D:\\pkg\\prod.exe"), "D:\\pkg");
    EXPECT_EQ(Trimmed("D:\\dir\\\xE8\xA1\xA8"), "D:\\dir");
    EXPECT_EQ(Trimmed("D:\\\xE8\xA1\xA8\\x"), "D:\\\xE8\xA1\xA8");
}

TEST(TrimLastComponent, LeavesPathsWithoutACutPointAlone) {
    EXPECT_EQ(Trimmed("C:"), "C:");
    EXPECT_EQ(Trimmed("name"), "name");
    EXPECT_EQ(Trimmed("\\name"), "\\name");  // separator at index 0
    EXPECT_EQ(Trimmed("C:name"), "C:");
    EXPECT_EQ(Trimmed(""), "");
}

TEST(CutExtension, OnlyInsideTheFileName) {
    EXPECT_EQ(WithoutExtension("D:\\pkg\\prod.exe"), "D:\\pkg\\prod");
    EXPECT_EQ(WithoutExtension("D:\\a.b\\prod"), "D:\\a.b\\prod");
    EXPECT_EQ(WithoutExtension("D:\\a.b\\prod.v1.exe"), "D:\\a.b\\prod.v1");
    EXPECT_EQ(WithoutExtension("D:\\pkg\\.hidden"), "D:\\pkg\\.hidden");
    EXPECT_EQ(WithoutExtension("prod.exe"), "prod");
    EXPECT_EQ(WithoutExtension("C:prod.exe"), "C:prod");
    EXPECT_EQ(WithoutExtension("D:\\a.x\\\xE8\xA1\xA8.b"), "D:\\a.x\\\xE8\xA1\xA8");
}

TEST(JoinPath, AddsOneSeparatorAndRespectsTheBuffer) {
    char out[16];
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\w", "Setup.exe"));
    EXPECT_STREQ(out, "C:\\w\\Setup.exe");
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\", "a"));
    EXPECT_STREQ(out, "C:\\a");
    EXPECT_TRUE(JoinPath(out, sizeof out, "C:\\abcdefghi", "xy"));  // 15 bytes + NUL
    EXPECT_FALSE(JoinPath(out, sizeof out, "C:\\abcdefghi", "xyz"));
    EXPECT_STREQ(out, "");
}

TEST(HasRelaunchArgument, CaseSensitiveSubstring) {
    EXPECT_TRUE(HasRelaunchArgument("/RUNAS"));
    EXPECT_TRUE(HasRelaunchArgument("a x/RUNASy b"));
    EXPECT_FALSE(HasRelaunchArgument("/runas"));
    EXPECT_FALSE(HasRelaunchArgument("/RUNA"));
    EXPECT_FALSE(HasRelaunchArgument(""));
    EXPECT_FALSE(HasRelaunchArgument(nullptr));
}

}  // namespace
