// The tool's own readings of the world: user times, Windows names, and the package layout walk.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/filespack/files/file_names.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/output/text_format.h"

TEST(UserTime, AcceptsSecondsAndUtcDatesAndRefusesImpossibleDates) {
    EXPECT_EQ(ParseUserTime("0"), FILETIME_UNIX_EPOCH);
    EXPECT_EQ(ParseUserTime("@0"), FILETIME_UNIX_EPOCH);
    const auto seconds = ParseUserTime("1704164645");
    ASSERT_TRUE(seconds);
    EXPECT_EQ(ParseUserTime("2024-01-02T03:04:05Z"), seconds);
    EXPECT_EQ(ParseUserTime("2024-01-02 03:04:05"), seconds);
    EXPECT_EQ(FormatTimeIso(*seconds), "2024-01-02T03:04:05Z");
    EXPECT_EQ(FormatTimeIso(*ParseUserTime("2024-02-29")), "2024-02-29T00:00:00Z");
    for (const char* bad :
         {"", "@", "2023-02-29", "2024-02-30", "2024-13-01", "2024-00-10", "2024-01-02T24:00:00",
          "2024-01-02T03:04", "2024-01-02Zulu", "yesterday", "-5", "12e3"}) {
        EXPECT_FALSE(ParseUserTime(bad)) << bad;
    }
}

TEST(UserTime, FileTimesFormatExactly) {
    EXPECT_EQ(FormatTimeIso(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(FormatTimeIso(FILETIME_UNIX_EPOCH + 1), "1970-01-01T00:00:00.0000001Z");
    EXPECT_EQ(FormatTimeIso(FILETIME_UNIX_EPOCH + 5000000), "1970-01-01T00:00:00.5Z");
    EXPECT_EQ(FormatTime(FILETIME_UNIX_EPOCH + 5000000), "1970-01-01 00:00:00");
    EXPECT_EQ(FileTimeFromUnix(0, 999), FILETIME_UNIX_EPOCH + 9);
    EXPECT_FALSE(FileTimeFromUnix(-11644473601));  // before 1601
}

TEST(WindowsNames, RefusesWhatWindowsWouldRefuseOrChange) {
    for (const char* good :
         {"a.txt", "表.txt", "ソ", "console.txt", "COM0", "LPT", ".hidden", "a b", "nul_file"}) {
        EXPECT_EQ(WindowsNameProblem(good), "") << good;
    }
    for (const char* bad :
         {"",    ".",       "..",         "a\\b", "a/b",       "c:x",       "a*",
          "a?",  "\"q\"",   "<a>",        "a|b",  "tab\there", "trailing.", "trailing ",
          "CON", "con.txt", "Nul.tar.gz", "com1", "LPT9.log",  "aux"}) {
        EXPECT_NE(WindowsNameProblem(bad), "") << bad;
    }
}

namespace {

// A hand-made package: the layout walk never decodes, so chunk bodies can be anything.
class RawPackage {
  public:
    explicit RawPackage(int32_t block_size) {
        Append(PACKAGE_MAGIC, 16);
        Append(PLAIN_MARKER, 4);
        I32(0);  // length, set by Bytes()
        Append(PACKAGE_SIGNATURE, 8);
        I32(block_size);
    }
    RawPackage& Entry(const std::string& name, int32_t size, std::vector<int32_t> chunks,
                      int32_t terminator = 0) {
        bytes_.push_back(static_cast<uint8_t>(name.size()));
        Append(name.data(), name.size());
        I32(size);
        I32(0x20);
        for (int i = 0; i < 6; ++i) I32(i);
        for (const int32_t c : chunks) {
            I32(c);
            bytes_.insert(bytes_.end(), static_cast<size_t>(c), 0x55);
        }
        I32(terminator);
        return *this;
    }
    std::vector<uint8_t> Bytes(size_t trailing = 0) const {
        auto out = bytes_;
        out.push_back(0);
        const auto length = static_cast<int32_t>(out.size() - LENGTH_BASE);
        std::memcpy(out.data() + 20, &length, 4);
        out.insert(out.end(), trailing, 0xEE);
        return out;
    }

  private:
    void Append(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void I32(int32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

}  // namespace

TEST(Layout, ReadsEntriesAndChunkLimits) {
    const auto good = RawPackage(1024)
                          .Entry("\x95\x5c.txt", 5000, {1040, 1040, 10}, -7)  // 表.txt, B + 16
                          .Entry("empty", 0, {})
                          .Bytes(9);  // bytes after the end byte are not read
    const LayoutScan scan = ReadPackageLayout(good);
    ASSERT_TRUE(scan.ok) << scan.error;
    ASSERT_EQ(scan.layout.entries.size(), 2u);
    EXPECT_EQ(DisplayName(scan.layout.entries[0].name), "表.txt");
    EXPECT_EQ(scan.layout.entries[0].chunk_count, 3);
    EXPECT_EQ(scan.layout.entries[0].times.last_write, (uint64_t{5} << 32) | 4);
    EXPECT_EQ(scan.layout.total_size, 5000);
    EXPECT_EQ(scan.layout.length + 9, static_cast<int64_t>(good.size()));

    const LayoutScan over = ReadPackageLayout(RawPackage(1024).Entry("a", 5000, {1041}).Bytes());
    EXPECT_FALSE(over.ok);
    EXPECT_NE(over.error.find("1041"), std::string::npos) << over.error;

    EXPECT_FALSE(ReadPackageLayout(RawPackage(1023).Entry("a", 1, {8}).Bytes()).ok);
    EXPECT_FALSE(ReadPackageLayout(RawPackage(4000001).Entry("a", 1, {8}).Bytes()).ok);
    EXPECT_TRUE(ReadPackageLayout(RawPackage(4000000).Entry("a", 1, {8}).Bytes()).ok);
    EXPECT_FALSE(ReadPackageLayout(RawPackage(1024).Bytes()).ok);  // no file: 37 bytes
    EXPECT_FALSE(ReadPackageLayout(RawPackage(1024).Entry("a", 0, {}).Bytes()).ok);
    EXPECT_FALSE(ReadPackageLayout(RawPackage(1024).Entry("a", 3, {}).Bytes()).ok);
    EXPECT_FALSE(ReadPackageLayout(RawPackage(1024).Entry("a", -3, {8}).Bytes()).ok);
}

TEST(Layout, EveryTruncationAndCorruptionIsReportedNotReadPast) {
    const auto good =
        RawPackage(1024).Entry("one", 2000, {1000, 900}).Entry("two", 7, {12}).Bytes();
    for (size_t size = 0; size < good.size(); ++size) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_FALSE(ReadPackageLayout(cut).ok) << size;
    }
    for (size_t at = 0; at < good.size(); at += 3) {
        auto bent = good;
        bent[at] = static_cast<uint8_t>(bent[at] + 0x81);
        ReadPackageLayout(bent);  // under the sanitizers: no read outside `bent`
    }
}
