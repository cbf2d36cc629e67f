// The walk by handle on its own: what is made and removed goes where the held folder is, not
// where its path now leads. (Wine takes no mount points, so links are tried where it does.)
#include "win/held_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/win/junction.h"

namespace {

int scratch_counter = 0;

class HeldFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        root_ = temp;
        if (!root_.empty() && root_.back() == L'\\') root_.pop_back();
        root_ += L"\\held-folder-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++scratch_counter);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override { test_win::RemoveTree(root_); }

    bool Exists(const std::wstring& relative) const {
        return GetFileAttributesW(test_win::Extended(root_ + L"\\" + relative).c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }
    void Put(const std::wstring& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
        const HANDLE file = CreateFileW((root_ + L"\\" + relative).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_NEW, attributes, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }

    std::wstring root_;
};

// A folder moved away while held keeps getting what is made in it; a new folder at its old path
// gets nothing.
TEST_F(HeldFolder, WhatIsMadeGoesWhereTheHandleIsNotWhereThePathLeads) {
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\a").c_str(), nullptr));
    // Opened as another program might, so that the test can move it.
    win::Handle a(CreateFileW((root_ + L"\\a").c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(a.IsOpen());
    ASSERT_TRUE(MoveFileW((root_ + L"\\a").c_str(), (root_ + L"\\moved").c_str()));
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\a").c_str(), nullptr));

    win::Handle inner;
    bool made = false;
    uint32_t error = 0;
    ASSERT_EQ(win::OpenFolderIn(a.Get(), L"d ", true, inner, &made, error), win::Reached::ok)
        << error;
    EXPECT_TRUE(made);
    win::Handle file;
    ASSERT_TRUE(win::CreateFileIn(inner.Get(), L"f.", file, error)) << error;
    file.Reset();
    EXPECT_TRUE(Exists(L"moved\\d \\f."));
    EXPECT_FALSE(Exists(L"a\\d "));
}

// What each call finds at a name, and what it does about it.
TEST_F(HeldFolder, EachCallTellsWhatItFound) {
    win::Handle root;
    uint32_t error = 0;
    ASSERT_EQ(win::OpenFolder(test_win::Extended(root_), root, error), win::Reached::ok);
    Put(L"file");
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\folder").c_str(), nullptr));

    win::Handle handle;
    bool made = true;
    EXPECT_EQ(win::OpenFolderIn(root.Get(), L"file", true, handle, &made, error),
              win::Reached::not_folder);
    EXPECT_EQ(win::OpenFolderIn(root.Get(), L"missing", false, handle, &made, error),
              win::Reached::missing);
    win::NodeInfo first;
    win::NodeInfo again;
    EXPECT_EQ(win::OpenFolderIn(root.Get(), L"folder", true, handle, &made, error, &first),
              win::Reached::ok);
    EXPECT_FALSE(made);
    handle.Reset();
    EXPECT_EQ(win::OpenItemIn(root.Get(), L"folder", handle, error, &again), win::Reached::ok);
    EXPECT_EQ(first.identity, again.identity);
    EXPECT_NE(first.identity, 0u);
    handle.Reset();
    // Never an existing file, nor a name with a separator in it.
    EXPECT_FALSE(win::CreateFileIn(root.Get(), L"file", handle, error));
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(win::CreateFileIn(root.Get(), L"", handle, error));
}

// A read-only file goes; a folder goes only once empty, and says so.
TEST_F(HeldFolder, RemovalClearsReadOnlyAndLeavesFoldersThatHoldSomething) {
    win::Handle root;
    uint32_t error = 0;
    ASSERT_EQ(win::OpenFolder(test_win::Extended(root_), root, error), win::Reached::ok);
    Put(L"read-only", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\full").c_str(), nullptr));
    Put(L"full\\inside");

    win::Handle item;
    win::NodeInfo info;
    ASSERT_EQ(win::OpenItemIn(root.Get(), L"read-only", item, error, &info), win::Reached::ok);
    EXPECT_TRUE(win::RemoveWhenClosed(item.Get(), info.attributes, error)) << error;
    item.Reset();
    EXPECT_FALSE(Exists(L"read-only"));

    ASSERT_EQ(win::OpenItemIn(root.Get(), L"full", item, error, &info), win::Reached::ok);
    EXPECT_FALSE(win::RemoveWhenClosed(item.Get(), info.attributes, error));
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_DIR_NOT_EMPTY));
    item.Reset();
    EXPECT_TRUE(Exists(L"full\\inside"));
}

// A mount point is opened as itself: never entered, and removed without what it leads to.
TEST_F(HeldFolder, AMountPointIsNeverEntered) {
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\target").c_str(), nullptr));
    Put(L"target\\kept");
    if (!test_win::MakeJunction(root_ + L"\\link", root_ + L"\\target")) {
        GTEST_SKIP() << "this file system takes no mount points (error " << GetLastError() << ")";
    }
    win::Handle root;
    uint32_t error = 0;
    ASSERT_EQ(win::OpenFolder(test_win::Extended(root_), root, error), win::Reached::ok);
    win::Handle handle;
    EXPECT_EQ(win::OpenFolderIn(root.Get(), L"link", true, handle, nullptr, error),
              win::Reached::link);
    win::NodeInfo info;
    ASSERT_EQ(win::OpenItemIn(root.Get(), L"link", handle, error, &info), win::Reached::link);
    EXPECT_TRUE(win::RemoveWhenClosed(handle.Get(), info.attributes, error));
    handle.Reset();
    EXPECT_FALSE(Exists(L"link"));
    EXPECT_TRUE(Exists(L"target\\kept"));
}

}  // namespace
