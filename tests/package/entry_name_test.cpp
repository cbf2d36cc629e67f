// Entry name judgement and the exact Shift-JIS/UTF-8 conversion names go through.
#include "package/entry_name.h"

#include <gtest/gtest.h>

#include <string>

#include "package/name_encoding.h"

namespace {

TEST(EntryName, SecondBytesOfDoubleByteCharactersAreNotSeparators) {
    EXPECT_TRUE(IsSafeEntryName("\x95\x5c", IsShiftJisLeadByte));                  // 表
    EXPECT_TRUE(IsSafeEntryName("\x83\x5c\x83\x74\x83\x67", IsShiftJisLeadByte));  // ソフト
    EXPECT_TRUE(IsSafeEntryName("\x95\x5c.txt", IsShiftJisLeadByte));
    // Read without lead bytes the same name holds a backslash.
    EXPECT_FALSE(IsSafeEntryName("\x95\x5c", HasNoLeadBytes));
    // A lone backslash after a complete character is still a separator.
    EXPECT_FALSE(IsSafeEntryName("\x95\x5c\x5c", IsShiftJisLeadByte));
    EXPECT_FALSE(IsSafeEntryName("\x95", IsShiftJisLeadByte));
    EXPECT_FALSE(IsSafeEntryName("\x95\xfd", IsShiftJisLeadByte));
}

TEST(EntryName, DeviceNamesWithOrWithoutExtension) {
    for (const char* name : {"CON", "prn", "Aux", "nul", "COM1", "com5", "LPT9", "CON.txt",
                             "nul.tar.gz", "COM1 ", "LPT3.", "aux .c", "conin$", "CONOUT$.x"}) {
        EXPECT_FALSE(IsSafeEntryName(name, HasNoLeadBytes)) << name;
    }
    for (const char* name :
         {"CONS", "COM", "COM0", "COM10", "LPT", "xNUL", "NUL_", "a.CON", "CO", "config.sys"}) {
        EXPECT_TRUE(IsSafeEntryName(name, HasNoLeadBytes)) << name;
    }
}

TEST(NameEncoding, ExactRoundTripsAndNoBestFit) {
    std::string out;
    ASSERT_TRUE(ShiftJisToUtf8("\x95\x5c\x83\x5c", out));
    EXPECT_EQ(out, "表ソ");
    ASSERT_TRUE(Utf8ToShiftJis("表ソ予能.txt", out));
    EXPECT_EQ(out, "\x95\x5c\x83\x5c\x97\x5c\x94\x5c.txt");
    // The backslash byte stays a backslash, both ways.
    ASSERT_TRUE(ShiftJisToUtf8("a\\b", out));
    EXPECT_EQ(out, "a\\b");
    // The yen sign has no place in code page 932: never a backslash, never a guess.
    EXPECT_FALSE(Utf8ToShiftJis("\xc2\xa5", out));
    EXPECT_FALSE(Utf8ToShiftJis("\xe2\x80\xbe", out));  // overline, likewise not '~'
    // Characters that are in code page 932 through Microsoft's table.
    ASSERT_TRUE(Utf8ToShiftJis("\xe2\x88\xa5", out));  // U+2225 parallel to
    EXPECT_EQ(out, "\x81\x61");
    ASSERT_TRUE(Utf8ToShiftJis("\xef\xbd\x9e", out));  // U+FF5E fullwidth tilde
    EXPECT_EQ(out, "\x81\x60");
    ASSERT_TRUE(ShiftJisToUtf8("\xfa\x40", out));  // small roman numeral one
    EXPECT_EQ(out, "\xe2\x85\xb0");
    // Its duplicate in the NEC-selected rows does not come back as itself.
    EXPECT_FALSE(ShiftJisToUtf8("\xee\xef", out));
    EXPECT_FALSE(ShiftJisToUtf8("\x81", out));
    EXPECT_FALSE(ShiftJisToUtf8("\x85\x40", out));
    EXPECT_FALSE(Utf8ToShiftJis("\xf0\x9f\x98\x80", out));  // no emoji in code page 932
    EXPECT_FALSE(Utf8ToShiftJis("\xff", out));
    ASSERT_TRUE(ShiftJisToUtf8("", out));
    EXPECT_EQ(out, "");
}

}  // namespace
