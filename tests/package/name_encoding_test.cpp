// One name rule for every engine: a stored name is valid when code page 932 turns it into text and
// back into the very same bytes. Code page 932 gives some characters two or three codes (the
// NEC-selected and IBM rows); only the one the way back gives is a valid name, so one file can
// never be spelled two ways. The same table runs natively (iconv) and on Windows (the system's
// own tables), and must give the same answers on both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/name_encoding.h"
#include "package/package_extractor.h"
#include "test_support.h"

namespace {

struct Code {
    const char* bytes;
    bool valid;
    const char* what;
};

const Code CODES[] = {
    {"\xfa\x5c", true, "IBM row: 纊, the code the way back gives"},
    {"\xed\x40", false, "NEC-selected row: 纊 again"},
    {"\xfa\x40", true, "IBM row: small roman numeral one"},
    {"\xee\xef", false, "NEC-selected row: small roman numeral one again"},
    {"\x87\x54", true, "NEC row 13: roman numeral one"},
    {"\xfa\x4a", false, "IBM row: roman numeral one again"},
    {"\x81\xca", true, "JIS: not sign"},
    {"\xee\xf9", false, "NEC-selected row: not sign again"},
    {"\xfa\x54", false, "IBM row: not sign again"},
    {"\x81\xe6", true, "JIS: because"},
    {"\x87\x9a", false, "NEC row 13: because again"},
    {"\xfa\x5b", false, "IBM row: because again"},
    {"\x87\x8a", true, "NEC row 13: parenthesised 株"},
    {"\xfa\x58", false, "IBM row: parenthesised 株 again"},
    {"\x87\x82", true, "NEC row 13: numero sign"},
    {"\xfa\x59", false, "IBM row: numero sign again"},
    {"\x81\xe0", true, "JIS: approximately equal"},
    {"\x87\x90", false, "NEC row 13: approximately equal again"},
    {"\xfc\x4b", true, "IBM row: the last code"},
    {"\x85\x40", false, "a code that code page 932 leaves undefined"},
    {"\x80", false, "a single byte without a character"},
    {"\xa0", false, "a single byte without a character"},
    {"\xfd", false, "a single byte without a character"},
    {"\xff", false, "a single byte without a character"},
    {"\xf0\x40", true, "the first user-defined code"},
    {"\xf9\xfc", true, "the last user-defined code"},
    {"\xb1", true, "halfwidth katakana"},
    {"\x81\x5f", true, "fullwidth backslash"},
};

std::string Name(const Code& code) {
    return std::string("n") + code.bytes + ".txt";
}

}  // namespace

TEST(CodePage932, ANameIsValidWhenItComesBackAsTheSameBytes) {
    for (const Code& code : CODES) {
        std::string utf8;
        EXPECT_EQ(ShiftJisToUtf8(Name(code), utf8), code.valid) << code.what;
    }
    std::string shift_jis;
    EXPECT_FALSE(Utf8ToShiftJis("\xc2\x80", shift_jis));  // Windows alone would give it 0x80
}

// The conversion is kept from name to name: what a refused name left behind (a lead byte cut off
// at the end, a byte without a character) must not change the answer for the next.
TEST(CodePage932, EachAnswerStandsWhateverNameCameBefore) {
    const std::string before[] = {"cut\x81", "n\x85\x40.txt", "\xff"};
    for (const std::string& refused : before) {
        for (const Code& code : CODES) {
            std::string utf8;
            EXPECT_FALSE(ShiftJisToUtf8(refused, utf8));
            EXPECT_EQ(ShiftJisToUtf8(Name(code), utf8), code.valid) << code.what;
            std::string back;
            EXPECT_FALSE(Utf8ToShiftJis("cut\xe3\x81", back));
            if (code.valid) {
                ASSERT_TRUE(Utf8ToShiftJis(utf8, back)) << code.what;
                EXPECT_EQ(back, Name(code)) << code.what;
            }
        }
    }
}

TEST(CodePage932, TheEngineExtractsExactlyTheValidNames) {
    for (const Code& code : CODES) {
        ScratchFolder folder;
        PackageBuilder builder;
        builder.StoredFile("before", "1").StoredFile(Name(code), "2");
        const std::vector<uint8_t> package = builder.Finish();
        PackageExtractor engine;
        ExtractResult result{};
        const int returned =
            engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result);
        EXPECT_EQ(returned, code.valid ? 1 : 0) << code.what;
        if (code.valid) {
            EXPECT_EQ(folder.Facts(Name(code)).bytes, "2") << code.what;
        } else {
            EXPECT_EQ(std::string(result.message), Sjis("書式エラー！")) << code.what;
            EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{"before"}) << code.what;
        }
    }
}

// The two codes of one character in one package: only the valid one is made, so the other can
// never land on it.
TEST(CodePage932, TwoCodesOfOneCharacterNeverMeetInOneFile) {
    ScratchFolder folder;
    PackageBuilder builder;
    builder.StoredFile("\xfa\x5c", "IBM").StoredFile("\xed\x40", "NEC");
    const std::vector<uint8_t> package = builder.Finish();
    PackageExtractor engine;
    ExtractResult result{};
    EXPECT_EQ(engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result), 0);
    EXPECT_EQ(std::string(result.message), Sjis("書式エラー！"));
    EXPECT_EQ(folder.Facts("\xfa\x5c").bytes, "IBM");
}
