// Packages made to hurt: names that leave the folder, truncation, lying lengths, bombs, paths
// that do not fit. Each must fail with its message and leave nothing outside the folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/package_extractor.h"
#include "package/platform_file.h"
#include "test_support.h"

namespace {

std::string Extract(const std::vector<uint8_t>& package, const ScratchFolder& folder,
                    size_t available, int* returned = nullptr, const std::string* dest = nullptr) {
    const std::vector<uint8_t> exact(
        package.begin(), package.begin() + static_cast<long>(std::min(available, package.size())));
    PackageExtractor engine;
    ExtractResult result{};
    const int value =
        engine.Extract(exact.data(), available, (dest ? *dest : folder.dest()).c_str(), &result);
    if (returned != nullptr) *returned = value;
    return result.message;
}

std::string Extract(const std::vector<uint8_t>& package, const ScratchFolder& folder) {
    return Extract(package, folder, package.size());
}

void ExpectNothingOutside(const ScratchFolder& folder) {
    EXPECT_EQ(folder.RootEntries(), std::vector<std::string>{"dest"});
}

TEST(HostilePackage, NamesThatCouldLeaveTheFolderAreRefusedBeforeAnythingIsMade) {
    const std::vector<std::string> names = {
        ".",          "..",       " .",      "...",  "..\\escape",  "../escape",
        "a/b",        "C:x",      "C:",   "file:stream", std::string("nul\0byte", 8),
        "tab\there",  "bell\a",   "del\x7f", "CON",  "con",         "Prn.txt",
        "AUX.tar.gz", "NUL",      "nul.",    "COM1", "com9.log",    "LPT1",
        "lpt9",       "CON .txt",
        "\x81",      // a lead byte with nothing after it
        "\x81\x0a",  // a lead byte before a control character
        "\x85\x40",  // a code that code page 932 leaves undefined
    };
    ScratchFolder folder;
    for (const std::string& name : names) {
        PackageBuilder builder;
        builder.StoredFile("ok-before", "1").StoredFile(name, "evil").StoredFile("after", "3");
        int returned = -1;
        const std::vector<uint8_t> package = builder.Finish();
        EXPECT_EQ(Extract(package, folder, package.size(), &returned), Sjis("書式エラー！"))
            << "name " << name;
        EXPECT_EQ(returned, 0);
        EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{"ok-before"}) << "name " << name;
        ExpectNothingOutside(folder);
        folder.Empty();
    }
}

TEST(HostilePackage, NamesThatOnlyLookDangerousAreAccepted) {
    // 表 and ソ end in 0x5C, the backslash byte; the others are near misses of device names.
    const std::vector<std::string> names = {
        Sjis("表"), Sjis("ソフト.txt"), Sjis("予定表"), "CONFIG.SYS", "COM10",       "LPT0",
        "a..b",     ".hidden",          "NULL",         "x.CON",      Sjis("＼全角")};
    ScratchFolder folder;
    PackageBuilder builder;
    for (const std::string& name : names) builder.StoredFile(name, name);
    int returned = -1;
    const std::vector<uint8_t> package = builder.Finish();
    const std::string message = Extract(package, folder, package.size(), &returned);
    ASSERT_EQ(returned, 1) << message;
    for (const std::string& name : names) EXPECT_EQ(folder.Facts(name).bytes, name);
    EXPECT_EQ(folder.DestEntries().size(), names.size());
    ExpectNothingOutside(folder);
}

TEST(HostilePackage, TruncationAtEveryByteIsAReadError) {
    const std::vector<uint8_t> whole = PackageBuilder()
                                           .StoredFile("one", "first file")
                                           .StoredFile(Sjis("二"), "second")
                                           .StoredFile("three", "")
                                           .Finish();
    ScratchFolder folder;
    const std::string read_error = Sjis("リードエラー！");
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        // Only `cut` bytes exist, and the header still declares them all.
        int returned = -1;
        EXPECT_EQ(Extract(whole, folder, cut, &returned), read_error) << "cut " << cut;
        EXPECT_EQ(returned, 0);
        EXPECT_TRUE(folder.DestEntries().empty());
        // The header agrees with the cut: reads stop at the declared end.
        if (cut >= 32) {
            std::vector<uint8_t> honest(whole.begin(), whole.begin() + static_cast<long>(cut));
            PutI32(honest, 20, static_cast<int32_t>(cut) - LENGTH_BASE);
            const std::string message = Extract(honest, folder);
            EXPECT_EQ(message, read_error) << "honest cut " << cut;
        }
        ExpectNothingOutside(folder);
        folder.Empty();
    }
}

TEST(HostilePackage, LengthsBeyondWhatExistsAreReadErrors) {
    ScratchFolder folder;
    std::vector<uint8_t> package = PackageBuilder().StoredFile("a", "abc").Finish();
    for (int32_t declared : {INT32_MAX, INT32_MAX - 23, INT32_MAX - 24, 1 << 30}) {
        PutI32(package, 20, declared);
        EXPECT_EQ(Extract(package, folder), Sjis("リードエラー！")) << "L = " << declared;
    }
    // A name length or size that reaches past the end.
    PackageBuilder builder;
    builder.Raw({200, 'a', 'b'});
    EXPECT_EQ(Extract(builder.Unterminated(), folder), Sjis("リードエラー！"));
    PackageBuilder huge_chunk;
    huge_chunk.Entry("big", 10).I32(1000);
    EXPECT_EQ(Extract(huge_chunk.Unterminated(), folder), Sjis("リードエラー！"));
    ExpectNothingOutside(folder);
}

// A run-length chunk whose 20-odd bytes decode to 30,728: an 8-byte pattern 3,841 times.
std::vector<uint8_t> RunLengthBomb() {
    const std::vector<uint8_t> stream = {0x01, 0xAA, 0xAA, 0xF0, 0xFF, 'B', 'O',
                                         'M',  'B',  'b',  'o',  'm',  'b'};
    std::vector<uint8_t> body(4);
    PutI32(body, 0, static_cast<int32_t>(stream.size()));
    body.push_back(0x01);
    body.push_back(0x08);
    body.insert(body.end(), stream.begin(), stream.end());
    return body;
}

TEST(HostilePackage, ABombThatDecodesPastTheEntrySizeIsNeverWritten) {
    ScratchFolder folder;
    PackageBuilder builder(65536);
    builder.Entry("bomb", 100).Chunk(RunLengthBomb()).Terminator();
    EXPECT_EQ(Extract(builder.Finish(), folder), Sjis("解凍エラー！ bomb"));
    EXPECT_EQ(folder.Facts("bomb").bytes, "");

    // The same chunk in a package whose block is too small for it: the decoder refuses it.
    PackageBuilder small(1024);
    small.Entry("small", 30728).Chunk(RunLengthBomb()).Terminator();
    folder.Empty();
    EXPECT_EQ(Extract(small.Finish(), folder), Sjis("解凍エラー！ small"));

    // And where it fits, it is an ordinary chunk.
    PackageBuilder fits(65536);
    fits.Entry("fits", 30728).Chunk(RunLengthBomb()).Terminator();
    folder.Empty();
    int returned = -1;
    const std::vector<uint8_t> package = fits.Finish();
    Extract(package, folder, package.size(), &returned);
    EXPECT_EQ(returned, 1);
    EXPECT_EQ(folder.Facts("fits").bytes.size(), 30728u);
    ExpectNothingOutside(folder);
}

TEST(HostilePackage, PathsThatDoNotFitAreWriteErrors) {
    ScratchFolder folder;
    // Pad the folder with "current folder" steps up to the path limit.
#ifdef _WIN32
    const char* step = "\\.";
#else
    const char* step = "/.";
#endif
    std::string dest = folder.dest();
    const size_t capacity = platform::OUTPUT_PATH_CAPACITY;
    while (dest.size() + 2 + 1 + 4 + 1 <= capacity) dest += step;
    // folder, separator, name and terminator fill the buffer exactly
    const std::string name(capacity - dest.size() - 2, 'e');
    ASSERT_EQ(dest.size() + 1 + name.size() + 1, capacity);

    const std::vector<uint8_t> fits = PackageBuilder().StoredFile(name, "fits").Finish();
    int returned = -1;
    EXPECT_EQ(Extract(fits, folder, fits.size(), &returned, &dest),
              Sjis("解凍完了！ ファイル数:1"));
    EXPECT_EQ(folder.Facts(name).bytes, "fits");
    folder.Empty();

    const std::vector<uint8_t> too_long = PackageBuilder().StoredFile(name + "!", "no").Finish();
    EXPECT_EQ(Extract(too_long, folder, too_long.size(), &returned, &dest), Sjis("ライトエラー！"));
    EXPECT_EQ(returned, 0);
    EXPECT_TRUE(folder.DestEntries().empty());
    ExpectNothingOutside(folder);
}

}  // namespace
