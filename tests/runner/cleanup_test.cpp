// The install clean-up on its own: what it takes back of a recorded tree, what it keeps, and
// what its log says about each, under a clock the test drives.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "runner/extracted_tree.h"
#include "runner/work_folder_cleanup.h"
#include "tests/win/junction.h"

namespace {

constexpr auto npos = std::string::npos;

// Time passes only when the clean-up pauses; each pause may let the test act.
class TestClock final : public RetryClock {
  public:
    uint64_t NowMs() override { return now; }
    void Sleep(uint32_t ms) override {
        now += ms;
        ++pauses;
        if (on_pause) on_pause();
    }
    uint64_t now = 0;
    int pauses = 0;
    std::function<void()> on_pause;
};

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the test's paths are ASCII
}

uint64_t IdentityOf(const std::string& path) {
    const HANDLE handle = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return read ? (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int scratch_counter = 0;

class CleanUp : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        std::wstring base = temp;
        if (!base.empty() && base.back() == L'\\') base.pop_back();
        root_ = std::string(base.begin(), base.end()) + "\\runner-cleanup-" +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++scratch_counter);
        ASSERT_TRUE(CreateDirectoryW(Wide(root_).c_str(), nullptr));
        work_ = root_ + "\\work";
        ASSERT_TRUE(CreateDirectoryW(Wide(work_).c_str(), nullptr));
        log_.Open(root_ + "\\run.log");
    }
    void TearDown() override { test_win::RemoveTree(Wide(root_)); }

    // Made as the engine makes it, and recorded as it records it.
    std::string Folder(const std::string& relative) {
        const std::string path = work_ + "\\" + relative;
        EXPECT_TRUE(CreateDirectoryW(Wide(path).c_str(), nullptr)) << path;
        made_.OnFolderCreated(path.c_str(), path.size(), IdentityOf(path));
        return path;
    }
    std::string File(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const std::string path = work_ + "\\" + relative;
        Put(path, attributes);
        made_.OnFileCreated(path.c_str(), IdentityOf(path));
        return path;
    }
    static void Put(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
        CloseHandle(file);
    }
    std::string Log() const {
        std::string text;
        const HANDLE file = CreateFileW(Wide(root_ + "\\run.log").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return text;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
            text.append(chunk, got);
        CloseHandle(file);
        return text;
    }
    bool Logged(const std::string& line) const { return Log().find(line + "\r\n") != npos; }
    void TakeBack() {
        RetryDeadline deadline(clock_);
        made_.TakeBack(log_, work_, deadline);
    }

    std::string root_, work_;
    RunLog log_;
    TestClock clock_;
    ExtractedTree made_;
};

// What the run made is taken back, deepest first, each removal said; what Setup.exe put in one
// of its folders keeps that folder, and the log says why.
TEST_F(CleanUp, EachLineSaysWhatHappened) {
    const std::string kept = Folder("kept");
    const std::string inner = Folder("kept\\inner");
    const std::string deep = File("kept\\inner\\deep.txt", FILE_ATTRIBUTE_READONLY);
    const std::string gone = Folder("gone");
    const std::string file = File("gone\\file.txt");
    Put(kept + "\\made by setup.txt");
    TakeBack();
    EXPECT_FALSE(Exists(deep));
    EXPECT_FALSE(Exists(inner));
    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(kept + "\\made by setup.txt"));
    for (const std::string& line :
         {"clean-up: removed " + deep, "clean-up: removed " + inner, "clean-up: removed " + file,
          "clean-up: removed " + gone, "clean-up: kept " + kept + " (not empty)"}) {
        EXPECT_TRUE(Logged(line)) << line << "\n" << Log();
    }
}

// A folder another program holds open past the deadline is not "not empty": the log says it
// was held.
TEST_F(CleanUp, AFolderHeldPastTheDeadlineIsLoggedAsHeld) {
    const std::string held = Folder("held");
    const HANDLE handle =
        CreateFileW(Wide(held).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    TakeBack();
    CloseHandle(handle);
    EXPECT_TRUE(Exists(held));
    EXPECT_GT(clock_.pauses, 0);
    EXPECT_TRUE(Logged("clean-up: kept " + held + " (held past the deadline)")) << Log();
}

// A folder of the run that was moved away and replaced by another of the same name, with a file
// of the same name in it, is not the run's: neither is removed.
TEST_F(CleanUp, WhatWasPutInPlaceOfWhatTheRunMadeIsKept) {
    const std::string folder = Folder("d");
    const std::string file = File("d\\f.txt");
    ASSERT_TRUE(MoveFileW(Wide(folder).c_str(), Wide(root_ + "\\moved").c_str()));
    ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    Put(file);
    TakeBack();
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(Exists(root_ + "\\moved\\f.txt"));
    EXPECT_TRUE(Logged("clean-up: kept " + folder + " (not what the run made)")) << Log();
}

// A folder of the run that became a mount point is removed as itself; what it leads to stays.
TEST_F(CleanUp, AFolderThatTurnedIntoALinkIsRemovedButNotWhatItLeadsTo) {
    const std::string folder = Folder("d");
    const std::string file = File("d\\f.txt");
    const std::string outside = root_ + "\\outside";
    ASSERT_TRUE(CreateDirectoryW(Wide(outside).c_str(), nullptr));
    Put(outside + "\\f.txt");
    ASSERT_TRUE(DeleteFileW(Wide(file).c_str()));
    ASSERT_TRUE(RemoveDirectoryW(Wide(folder).c_str()));
    if (!test_win::MakeJunction(Wide(folder), Wide(outside))) {
        GTEST_SKIP() << "this file system takes no mount points (error " << GetLastError() << ")";
    }
    TakeBack();
    EXPECT_TRUE(Exists(outside + "\\f.txt"));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Logged("clean-up: kept " + file + " (a link is on its way)")) << Log();
}

// The work folder itself is waited for as its files are, and its removal is said only when it
// happened.
TEST_F(CleanUp, TheTopFolderIsRetriedWhileAnotherProgramHoldsIt) {
    Put(work_ + "\\Setup.exe");
    HANDLE handle =
        CreateFileW(Wide(work_).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    clock_.on_pause = [&] {
        if (clock_.pauses == 2 && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    };
    RetryDeadline deadline(clock_);
    CleanUpWorkFolder(log_, work_, deadline);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    EXPECT_FALSE(Exists(work_));
    EXPECT_TRUE(Logged("clean-up: removed " + work_)) << Log();
    EXPECT_EQ(Log().find("(not empty)"), npos) << Log();
}

}  // namespace
