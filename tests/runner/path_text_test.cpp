// Shift-JIS path handling. Byte escapes stand for the double-byte characters: 0x95 0x5C is
// the character "表", whose second byte is a backslash; 0xFA 0x5C is an IBM-extension
// character with the same trap.
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

TEST(IsLeadBytePosition, FollowsCharactersFromTheStart) {
    EXPECT_TRUE(IsLeadBytePosition("\x95\x5C", 0));
    EXPECT_FALSE(IsLeadBytePosition("\x95\x5C", 1));  // the second byte, not a start
    // After one double-byte character the next one starts at 2, not at 1.
    EXPECT_TRUE(IsLeadBytePosition("\x95\x95\x95\x5C", 2));
    EXPECT_FALSE(IsLeadBytePosition("\x95\x95\x95\x5C", 1));
    EXPECT_FALSE(IsLeadBytePosition("a\\b", 1));
    EXPECT_FALSE(IsLeadBytePosition("abc", -1));
    EXPECT_FALSE(IsLeadBytePosition("ab", 5));  // past the end
    EXPECT_FALSE(IsLeadBytePosition("", 0));
    // Half-width katakana (0xA1-0xDF) are single bytes.
    EXPECT_FALSE(IsLeadBytePosition("\xB1\x5C", 0));
    EXPECT_TRUE(IsLeadBytePosition("\xFA\x5C", 0));
    EXPECT_TRUE(IsLeadBytePosition("\xE0\x40", 0));
    EXPECT_FALSE(IsLeadBytePosition("\x80\x40", 0));
}

TEST(TrimLastComponent, CutsAtTheRealSeparator) {
    EXPECT_EQ(Trimmed("C:\\WINDOWS\\UnpackDir3\\*.*"), "C:\\WINDOWS\\UnpackDir3");
    EXPECT_EQ(Trimmed("D:\\pkg\\prod.exe"), "D:\\pkg");
    // The last character ends in 0x5C: it stays, the cut is at the separator before it.
    EXPECT_EQ(Trimmed("D:\\dir\\\x95\x5C"), "D:\\dir");
    EXPECT_EQ(Trimmed("D:\\\x95\x5C\\x"), "D:\\\x95\x5C");
    EXPECT_EQ(Trimmed("D:\\dir\\\xFA\x5C"), "D:\\dir");
}

TEST(TrimLastComponent, LeavesPathsWithoutACutPointAlone) {
    EXPECT_EQ(Trimmed("C:"), "C:");
    EXPECT_EQ(Trimmed("name"), "name");
    EXPECT_EQ(Trimmed("\\name"), "\\name");  // separator at index 0
    EXPECT_EQ(Trimmed("C:name"), "C:");
    EXPECT_EQ(Trimmed(""), "");
    EXPECT_EQ(Trimmed("\x95\x5C"), "\x95\x5C");
}

TEST(CutExtension, OnlyInsideTheFileName) {
    EXPECT_EQ(WithoutExtension("D:\\pkg\\prod.exe"), "D:\\pkg\\prod");
    EXPECT_EQ(WithoutExtension("D:\\a.b\\prod"), "D:\\a.b\\prod");
    EXPECT_EQ(WithoutExtension("D:\\a.b\\prod.v1.exe"), "D:\\a.b\\prod.v1");
    EXPECT_EQ(WithoutExtension("D:\\pkg\\.hidden"), "D:\\pkg\\.hidden");
    EXPECT_EQ(WithoutExtension("prod.exe"), "prod");
    EXPECT_EQ(WithoutExtension("C:prod.exe"), "C:prod");
    // A 0x5C second byte is no separator: the name is "表.b" and its extension goes.
    EXPECT_EQ(WithoutExtension("D:\\a.x\\\x95\x5C.b"), "D:\\a.x\\\x95\x5C");
    EXPECT_EQ(WithoutExtension("D:\\\x95\x5C.d\\prod"), "D:\\\x95\x5C.d\\prod");
}

TEST(JoinPath, AddsOneSeparatorAndRespectsTheBuffer) {
    char out[16];
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\w", "Setup.exe"));
    EXPECT_STREQ(out, "C:\\w\\Setup.exe");
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\", "a"));
    EXPECT_STREQ(out, "C:\\a");
    // "表" ends in 0x5C but is not a separator: one is still needed.
    ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\\x95\x5C", "a"));
    EXPECT_STREQ(out, "C:\\\x95\x5C\\a");
    EXPECT_TRUE(JoinPath(out, sizeof out, "C:\\abcdefghi", "xy"));  // 15 bytes + NUL
    EXPECT_FALSE(JoinPath(out, sizeof out, "C:\\abcdefghi", "xyz"));
    EXPECT_STREQ(out, "");
}

TEST(QuotePath, WrapsAndRespectsTheBuffer) {
    char out[12];
    ASSERT_TRUE(QuotePath(out, sizeof out, "C:\\a b\\x"));
    EXPECT_STREQ(out, "\"C:\\a b\\x\"");
    EXPECT_FALSE(QuotePath(out, sizeof out, "C:\\a b\\xyz"));
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

TEST(IsDotEntry, OnlyTheTwoFolderEntries) {
    EXPECT_TRUE(IsDotEntry("."));
    EXPECT_TRUE(IsDotEntry(".."));
    EXPECT_FALSE(IsDotEntry(".profile"));
    EXPECT_FALSE(IsDotEntry("..."));
    EXPECT_FALSE(IsDotEntry("a"));
}

}  // namespace
