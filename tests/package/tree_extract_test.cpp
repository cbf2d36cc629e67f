// Names with folders in the engine: the folders made on the way, hostile trees, links in the
// way, and what an engine that predates folders does with such a package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/entry_name.h"
#include "package/package_extractor.h"
#include "package/platform_file.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "tests/win/junction.h"
#endif

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#endif

namespace {

struct Made final : CreationRecord {
    void OnFolderCreated(const char* path, size_t length, uint64_t identity) override {
        items.push_back("folder " + std::string(path, length));
        identities.push_back(identity);
    }
    void OnFileCreated(const char* path, uint64_t identity) override {
        items.push_back("file " + std::string(path));
        identities.push_back(identity);
    }
    std::vector<std::string> items;
    std::vector<uint64_t> identities;
};

struct Outcome {
    int returned = -1;
    std::string message;
};

Outcome ExtractInto(const std::vector<uint8_t>& package, const ScratchFolder& folder,
                    CreationRecord* record = nullptr, ProgressListener* progress = nullptr) {
    PackageExtractor engine;
    engine.SetCreationRecord(record);
    engine.SetProgressTarget(progress, 1034);
    ExtractResult result{};
    Outcome run;
    run.returned = engine.Extract(package.data(), package.size(), folder.dest().c_str(), &result);
    run.message = result.message;
    return run;
}

#ifdef _WIN32
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif

}  // namespace

TEST(TreeExtract, FoldersAreMadeInEntryOrderAndEveryFileLandsInItsPlace) {
    std::string deepest;
    for (char part = 'a'; part < 'a' + static_cast<char>(MAX_NAME_PARTS) - 1; ++part) {
        deepest += std::string(1, part) + "\\";
    }
    deepest += "leaf.txt";
    const std::vector<std::string> names = {
        "top.txt",      "d\\one.txt",           "d\\e\\two.txt",
        "d\\three.txt", Sjis("表\\ソ\\能.txt"), Sjis("表\\予定.txt"),
        deepest};
    PackageBuilder builder;
    for (const std::string& name : names) builder.StoredFile(name, "<" + name + ">");
    ScratchFolder folder;
    Made made;
    const Outcome run = ExtractInto(builder.Finish(), folder, &made);
    ASSERT_EQ(run.returned, 1) << run.message;
    for (const std::string& name : names) EXPECT_EQ(folder.Facts(name).bytes, "<" + name + ">");
    const std::string dest = folder.dest() + SEPARATOR;
    ASSERT_GE(made.items.size(), 6u);
    EXPECT_EQ(made.items[0], "file " + dest + "top.txt");
    EXPECT_EQ(made.items[1], "folder " + dest + "d");
    EXPECT_EQ(made.items[3], "folder " + dest + "d" + SEPARATOR + "e");
    // Every folder once, each before what it holds.
    EXPECT_EQ(made.items.size(), names.size() + 2 + 2 + MAX_NAME_PARTS - 1);
    // Each with the file system's own number, by which the clean-up knows it again.
    for (size_t i = 0; i < made.identities.size(); ++i) EXPECT_NE(made.identities[i], 0u) << i;
}

TEST(TreeExtract, HostileTreesAreRefusedWithNothingMadeOutside) {
    std::string too_deep;
    for (size_t i = 0; i < MAX_NAME_PARTS; ++i) too_deep += "d\\";
    too_deep += "x";
    const std::vector<std::string> names = {
        "..\\x",     "a\\..\\..\\x",  "a\\.\\x",   "\\x",     "x\\",    "a\\\\x",       "C:\\x",
        "a\\CON\\x", "a\\nul.txt\\x", "a\\b:c\\x", "a/..\\x", too_deep, Sjis("表\\\\x")};
    ScratchFolder folder;
    for (const std::string& name : names) {
        PackageBuilder builder;
        builder.StoredFile("ok-before", "1").StoredFile(name, "evil").StoredFile("after", "3");
        const Outcome run = ExtractInto(builder.Finish(), folder);
        EXPECT_EQ(run.message, Sjis("書式エラー！")) << name;
        EXPECT_EQ(run.returned, 0);
        EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{"ok-before"}) << name;
        EXPECT_EQ(folder.RootEntries(), std::vector<std::string>{"dest"}) << name;
        folder.Empty();
    }
}

// Windows would merge two spellings of one folder, a POSIX system would make two folders: either
// way the package is refused before anything is made, the files before the second spelling too.
TEST(TreeExtract, AFolderSpelledTwoWaysIsRefusedBeforeAnythingIsMade) {
    const std::vector<std::vector<std::string>> trees = {
        {"ok-before", "A\\b.txt", "a\\c.txt"},
        {"d\\X\\1", "d\\x\\2"},
        {Sjis("表\\Ａ\\1"), Sjis("表\\ａ\\2")},  // fullwidth letters have case too
        {"A\\1", "..\\refused-at-its-turn", "a\\2"},
    };
    ScratchFolder folder;
    for (const std::vector<std::string>& names : trees) {
        PackageBuilder builder;
        for (const std::string& name : names) builder.StoredFile(name, name);
        const Outcome run = ExtractInto(builder.Finish(), folder);
        EXPECT_EQ(run.returned, 0) << names.back();
        EXPECT_EQ(run.message, Sjis("書式エラー！")) << names.back();
        EXPECT_TRUE(folder.DestEntries().empty()) << names.back();
        folder.Empty();
    }
    // An entry cut short is still made before the cut is seen, so its name counts.
    PackageBuilder cut;
    cut.StoredFile("A\\b.txt", "1").Entry("a\\c.txt", 5);
    const Outcome run = ExtractInto(cut.Unterminated(), folder);
    EXPECT_EQ(run.message, Sjis("書式エラー！"));
    EXPECT_TRUE(folder.DestEntries().empty());
}

// One spelling throughout is one folder; two flat names that are one file to Windows are left to
// the file system: the second cannot be created there, and the first is never overwritten.
TEST(TreeExtract, OnlyFoldersAreJudgedAheadByTheirSpelling) {
    PackageBuilder same;
    same.StoredFile("A\\b.txt", "1").StoredFile("A\\c.txt", "2");
    ScratchFolder folder;
    Outcome run = ExtractInto(same.Finish(), folder);
    EXPECT_EQ(run.returned, 1) << run.message;
    EXPECT_EQ(folder.Facts("A\\c.txt").bytes, "2");

    folder.Empty();
    PackageBuilder flat;
    flat.StoredFile("Read.txt", "first").StoredFile("READ.txt", "second");
    run = ExtractInto(flat.Finish(), folder);
    EXPECT_EQ(folder.Facts("Read.txt").bytes, "first");
#ifdef _WIN32
    EXPECT_EQ(run.message, Sjis("ライトエラー！"));
    EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{"Read.txt"});
#else
    EXPECT_EQ(run.returned, 1) << run.message;
#endif
}

// A file where a folder must go is a write error: the engine never replaces it.
TEST(TreeExtract, AFileInThePlaceOfAFolderStopsTheRun) {
    PackageBuilder builder;
    builder.StoredFile("a", "file").StoredFile("a\\b", "under");
    ScratchFolder folder;
    const Outcome run = ExtractInto(builder.Finish(), folder);
    EXPECT_EQ(run.message, Sjis("ライトエラー！"));
    EXPECT_EQ(folder.Facts("a").bytes, "file");
}

// What an engine that reads every name as one file's name (its only rule) does with a tree: it
// refuses the name before it creates anything, so such a package fails at its first entry with
// a folder, and the files before it stay.
TEST(TreeExtract, EnginesThatPredateFoldersRefuseATreeNameBeforeCreatingIt) {
    for (const std::string& name : {std::string("d\\x.txt"), Sjis("表\\ソ\\能.txt")}) {
        EXPECT_FALSE(IsSafeEntryName(name, IsShiftJisLeadByte)) << name;
        EXPECT_FALSE(EntryTreeProblem(name, IsShiftJisLeadByte)) << name;
    }
    // A flat name reads the same both ways.
    EXPECT_TRUE(IsSafeEntryName(Sjis("表.txt"), IsShiftJisLeadByte));
    EXPECT_FALSE(EntryTreeProblem(Sjis("表.txt"), IsShiftJisLeadByte));
}

#ifndef _WIN32
// A folder that was there already may be a link to anywhere; one the engine made may be swapped
// for a link before the next file goes into it. Either way nothing is written through it.
TEST(TreeExtract, LinksInPlaceOfFoldersAreNeverFollowed) {
    struct SwapAfterFirstChunk final : ProgressListener {
        void OnProgress(uint32_t, int64_t, int64_t) override {
            if (swapped) return;
            swapped = true;
            std::rename((dest + "/d").c_str(), (root + "/moved").c_str());
            symlink((root + "/outside").c_str(), (dest + "/d").c_str());
        }
        std::string root, dest;
        bool swapped = false;
    };
    ScratchFolder folder;
    const std::string outside = folder.root() + "/outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0777), 0);

    PackageBuilder builder;
    builder.StoredFile("d\\first", "1").StoredFile("d\\second", "2");
    SwapAfterFirstChunk swap;
    swap.root = folder.root();
    swap.dest = folder.dest();
    Outcome run = ExtractInto(builder.Finish(), folder, nullptr, &swap);
    EXPECT_TRUE(swap.swapped);
    EXPECT_EQ(run.message, Sjis("ライトエラー！"));
    EXPECT_TRUE(std::filesystem::is_empty(outside));

    folder.Empty();
    ASSERT_EQ(symlink(outside.c_str(), (folder.dest() + "/d").c_str()), 0);
    run = ExtractInto(PackageBuilder().StoredFile("d\\x", "1").Finish(), folder);
    EXPECT_EQ(run.message, Sjis("ライトエラー！"));
    EXPECT_TRUE(std::filesystem::is_empty(outside));
}
#endif

#ifdef _WIN32
// Each folder of a name is held as the destination is, until the run ends: nobody gets the
// delete access that renaming or replacing it takes while files go into it.
TEST(TreeExtract, FoldersOfNamesAreHeldInPlaceForTheRun) {
    ScratchFolder folder;
    const std::string inner = folder.dest() + "\\d";
    auto open_for_delete = [&] {
        const HANDLE handle =
            CreateFileW(WidePath(inner).c_str(), DELETE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        CloseHandle(handle);
        return true;
    };
    {
        platform::OutputFolder output;
        output.Open(folder.dest().c_str(), nullptr);
        char path[platform::OUTPUT_PATH_CAPACITY];
        ASSERT_EQ(platform::ComposeEntryPath(folder.dest().c_str(), "d\\x", 3, path),
                  platform::EntryPath::ok);
        const FileHandle file = platform::CreateNewFile(output, path);
        ASSERT_NE(file, INVALID_FILE);
        platform::CloseFile(file);
        EXPECT_FALSE(open_for_delete());
    }
    EXPECT_TRUE(open_for_delete());
}

// Held folders share reading only: a program that could open one for writing could turn it into
// a mount point between two files.
TEST(TreeExtract, HeldFoldersCannotBeOpenedForWriting) {
    ScratchFolder folder;
    auto open_for_writing = [](const std::string& path) {
        const HANDLE handle = CreateFileA(
            path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        CloseHandle(handle);
        return true;
    };
    platform::OutputFolder output;
    output.Open(folder.dest().c_str(), nullptr);
    char path[platform::OUTPUT_PATH_CAPACITY];
    ASSERT_EQ(platform::ComposeEntryPath(folder.dest().c_str(), "d\\x", 3, path),
              platform::EntryPath::ok);
    const FileHandle file = platform::CreateNewFile(output, path);
    ASSERT_NE(file, INVALID_FILE);
    platform::CloseFile(file);
    EXPECT_FALSE(open_for_writing(folder.dest()));
    EXPECT_FALSE(open_for_writing(folder.dest() + "\\d"));
}

// A destination that could not be held takes no file: nothing is created by its path.
TEST(TreeExtract, ADestinationThatCannotBeHeldTakesNoFile) {
    ScratchFolder folder;
    const HANDLE exclusive = CreateFileA(folder.dest().c_str(), FILE_LIST_DIRECTORY, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    {
        platform::OutputFolder output;
        output.Open(folder.dest().c_str(), nullptr);
        char path[platform::OUTPUT_PATH_CAPACITY];
        ASSERT_EQ(platform::ComposeEntryPath(folder.dest().c_str(), "x", 1, path),
                  platform::EntryPath::ok);
        const FileHandle file = platform::CreateNewFile(output, path);
        if (file != INVALID_FILE) platform::CloseFile(file);
        EXPECT_EQ(file, INVALID_FILE);
    }
    CloseHandle(exclusive);
    EXPECT_EQ(folder.DestEntries(), std::vector<std::string>{});
}

// A part that ends in a blank or a dot is made exactly as it is spelt, as on POSIX systems: the
// folder held is the folder the file goes into, and the record names what is there.
TEST(TreeExtract, PartsEndingInABlankOrADotAreKeptExactly) {
    const std::vector<std::string> names = {"a \\x", "b.\\y", "c \\d.\\z", "e ", "f."};
    PackageBuilder builder;
    for (const std::string& name : names) builder.StoredFile(name, "<" + name + ">");
    ScratchFolder folder;
    Made made;
    const Outcome run = ExtractInto(builder.Finish(), folder, &made);
    EXPECT_EQ(run.returned, 1) << run.message;
    std::vector<std::string> listed;
    WIN32_FIND_DATAW found;
    const std::wstring dest = test_win::Extended(std::wstring(folder.dest().begin(), folder.dest().end()));
    const HANDLE search = FindFirstFileW((dest + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") listed.emplace_back(name.begin(), name.end());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"a ", "b.", "c ", "e ", "f."}));
    for (const std::string& name : names) {
        const std::wstring wide(name.begin(), name.end());
        const HANDLE file = CreateFileW((dest + L"\\" + wide).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    EXPECT_EQ(made.items.size(), names.size() + 4);
    for (const wchar_t* part : {L"a ", L"b.", L"c "}) {
        test_win::RemoveTree(dest.substr(4) + L"\\" + part);
    }
    DeleteFileW((dest + L"\\e ").c_str());
    DeleteFileW((dest + L"\\f.").c_str());
}

// A mount point already in the place of a folder, or put there while the run goes on, is never
// entered: nothing is written where it leads.
TEST(TreeExtract, MountPointsInPlaceOfFoldersAreNeverEntered) {
    ScratchFolder folder;
    const std::wstring root(folder.root().begin(), folder.root().end());
    const std::wstring dest(folder.dest().begin(), folder.dest().end());
    ASSERT_TRUE(CreateDirectoryW((root + L"\\outside").c_str(), nullptr));
    if (!test_win::MakeJunction(dest + L"\\d", root + L"\\outside")) {
        GTEST_SKIP() << "this file system takes no mount points (error " << GetLastError() << ")";
    }
    const Outcome run = ExtractInto(PackageBuilder().StoredFile("d\\x", "1").Finish(), folder);
    EXPECT_EQ(run.message, Sjis("ライトエラー！"));
    EXPECT_EQ(GetFileAttributesW((root + L"\\outside\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW((dest + L"\\d").c_str());
}
#endif
