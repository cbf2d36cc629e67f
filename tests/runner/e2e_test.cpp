// The whole program under Wine, driven like a user: confirmation, folders, Setup.exe, failures,
// relaunch. Each test runs its own copy of a product in its own folder.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e_driver.h"

using namespace e2e;

namespace {

constexpr int kUnpackOnlyBox = 1005;
constexpr int kProgressBar = 1001;
constexpr int kExplanation = 1003;
constexpr int64_t kExitOk = 0;
constexpr int64_t kExitCancelled = 1;
constexpr int64_t kExitPreparationFailed = 2;
constexpr int64_t kExitExtractionFailed = 3;
constexpr int64_t kExitSetupFailed = 4;
constexpr int64_t kExitBadCommandLine = 5;

// The sample product's identity and texts, as the program shows them.
const std::string kTitle = "SelfUnpack - Quolta Ver 1.71";
const std::string kCaption = "SelfUnpack - Quolta";
const std::string kAbandon = "Quolta Ver 1.71 の解凍を中止します。";
const std::string kCannotUnpack = "解凍できません！";
const std::string kSaveTitle = "解凍先ディレクトリの選択[ Quolta Ver 1.71 ]";
const std::string kReadOnlyFile = "使用許諾.txt";
// Every packed file carries 2010-08-01 00:00 UTC.
constexpr uint64_t kPackedTime = 116444736000000000ULL + 1280620800ULL * 10000000ULL;

std::string RetryMessage(const std::string& path) {
    return "既に存在しているか、アクセス権がないなどの理由で、\n解凍先ディレクトリ [ " + path +
           " ] を\n作成できませんん。\n他のディレクトリを選択してください。";
}

bool IsConfirmation(HWND w) {
    return !IsMessageBox(w) && HasControl(w, kUnpackOnlyBox);
}
bool IsProgress(HWND w) {
    return !IsMessageBox(w) && HasControl(w, kProgressBar);
}
bool IsSaveDialog(HWND w) {
    return !IsMessageBox(w) && Text(w) == kSaveTitle;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = Join(WindowsPath(E2E_WORK_ROOT), info->name());
        RemoveTree(folder_);
        MakeFolder(WindowsPath(E2E_WORK_ROOT));
        ASSERT_TRUE(MakeFolder(folder_)) << folder_;
        log_ = Join(folder_, "setup.log");
        SetVariable("FILESPACK_SETUP_LOG", log_.c_str());
        SetVariable("FILESPACK_SETUP_MKDIR", nullptr);
        SetVariable("FILESPACK_SETUP_EXIT", nullptr);
        first_free_ = FirstFreeWorkFolder();
    }

    void TearDown() override {
        for (DWORD pid : started_) {
            for (DWORD child : Children(pid)) {
                Process p;
                if (p.Attach(child)) p.Kill();
            }
        }
        for (const std::string& path : cleanup_) RemoveTree(path);
        RemoveTree(folder_);
    }

    // A copy of the product in this test's folder, optionally with its bytes changed.
    std::string Copy(const char* source, const std::string& name = "QuoltaSetup.exe") {
        const std::string exe = Join(folder_, name);
        EXPECT_TRUE(CopyTo(WindowsPath(source), exe)) << exe;
        return exe;
    }

    // A start that fails is tried twice more, a second apart: a copy just written may still be
    // held for a moment (a scanner on Windows; once, under load, Wine). The error is reported.
    void Start(Process& process, const std::string& exe, const std::string& arguments = "") {
        DWORD error = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (process.Start(exe, arguments)) {
                started_.push_back(process.pid());
                return;
            }
            error = GetLastError();
            Sleep(1000);
        }
        FAIL() << exe << ": not started, error " << error;
    }

    // Presses start in the confirmation, with the unpack-only box ticked or clear.
    void Confirm(const Process& process, bool unpack_only) {
        HWND confirm = WaitDialog(process.pid(), IsConfirmation);
        ASSERT_NE(confirm, nullptr) << "no confirmation dialog";
        EXPECT_EQ(Text(confirm), kTitle);
        EXPECT_EQ(CheckState(confirm, kUnpackOnlyBox), BST_UNCHECKED);
        if (unpack_only) Click(confirm, kUnpackOnlyBox);
        Click(confirm, IDOK);
        EXPECT_TRUE(WaitGone(confirm));
    }

    // Waits for a message box with this text and caption and presses `button`.
    void Answer(DWORD pid, const std::string& caption, const std::string& text, int button = IDOK) {
        HWND box = WaitMessageBox(pid);
        ASSERT_NE(box, nullptr) << "no message box: " << text;
        EXPECT_EQ(Text(box), caption);
        EXPECT_EQ(ControlText(box, kMessageBoxTextId), text);
        Click(box, button);
        EXPECT_TRUE(WaitGone(box));
    }

    std::string Log() const { return ReadFile(log_); }

    // Runs the product to its end, watching that none of its windows ever shows.
    int64_t RunUnattended(const std::string& exe, const std::string& arguments,
                          const std::string& directory = "") {
        Process product;
        if (!product.Start(exe, arguments, directory)) {
            ADD_FAILURE() << exe;
            return -1;
        }
        started_.push_back(product.pid());
        bool shown = false;
        const ULONGLONG end = GetTickCount64() + kWaitMs;
        while (product.Running() && GetTickCount64() < end) {
            shown = shown || AnyVisibleWindow(product.pid()) != nullptr;
            Sleep(5);
        }
        EXPECT_FALSE(shown) << "a window showed: " << arguments;
        return product.WaitExit(0);
    }

    std::string UnpackFolder(const std::string& exe) const { return exe.substr(0, exe.size() - 4); }

    void ExpectSampleFiles(const std::string& folder) {
        const std::string samples = WindowsPath(E2E_SAMPLE_FILES);
        std::vector<std::string> expected = List(samples);
        expected.push_back("Setup.exe");
        std::vector<std::string> got = List(folder);
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected);
        for (const std::string& name : List(samples)) {
            const std::string path = Join(folder, name);
            EXPECT_EQ(ReadFile(path), ReadFile(Join(samples, name))) << name;
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
                << name;
            const uint64_t written = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                     data.ftLastWriteTime.dwLowDateTime;
            EXPECT_EQ(written, kPackedTime) << name;
            EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0, name == kReadOnlyFile)
                << name;
        }
    }

    std::string folder_;
    std::string log_;
    int first_free_ = 1;
    std::vector<DWORD> started_;
    std::vector<std::string> cleanup_;
};

TEST_F(EndToEnd, InstallRunsSetupInTheFirstFreeWorkFolderThenRemovesIt) {
    const std::string taken1 = WorkFolder(first_free_);
    const std::string taken2 = WorkFolder(first_free_ + 1);
    const std::string work = WorkFolder(first_free_ + 2);
    cleanup_ = {taken1, taken2, work};
    ASSERT_TRUE(MakeFolder(taken1));
    ASSERT_TRUE(MakeFolder(taken2));
    // An empty folder still counts as taken.
    const std::string exe = Copy(E2E_QUOLTA_EXE);

    Process product;
    Start(product, exe);
    Confirm(product, false);
    EXPECT_EQ(product.WaitExit(), kExitOk);

    const std::string log = Log();
    const std::string current = CurrentFolder();
    EXPECT_NE(log.find("own_folder=" + work + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("command_line=\"" + Join(work, "Setup.exe") + "\"\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("current_directory=" + current + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("file=" + kReadOnlyFile + "\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\t0x21\n"), std::string::npos) << "read-only file: " << log;
    EXPECT_NE(log.find("file=Setup.exe\t"), std::string::npos) << log;
    EXPECT_FALSE(Exists(work)) << "work folder left behind";
    EXPECT_TRUE(IsFolder(taken1));
    EXPECT_TRUE(Children(product.pid()).empty()) << "relaunched after a good run";
}

TEST_F(EndToEnd, InstallKeepsTheWorkFolderWhenSetupLeavesASubfolder) {
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    SetVariable("FILESPACK_SETUP_MKDIR", "left behind");
    Process product;
    Start(product, Copy(E2E_QUOLTA_EXE));
    Confirm(product, false);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    // Every file went, the read-only one included; the subfolder keeps the folder.
    EXPECT_EQ(List(work), std::vector<std::string>{"left behind"});
}

TEST_F(EndToEnd, InstallWithoutSetupSaysSoAndStillCleansUp) {
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    Process product;
    Start(product, Copy(E2E_NO_SETUP_EXE));
    Confirm(product, false);
    EXPECT_EQ(product.WaitExit(), kExitSetupFailed);
    // The read-only file went too.
    EXPECT_FALSE(Exists(work));
    EXPECT_TRUE(Children(product.pid()).empty());
}

TEST_F(EndToEnd, UnpackOnlyKeepsTheFilesInTheFolderNamedAfterTheProgram) {
    const std::string exe = Copy(E2E_QUOLTA_EXE, "Quolta Setup.v2.exe");
    Process product;
    Start(product, exe);
    Confirm(product, true);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    ExpectSampleFiles(Join(folder_, "Quolta Setup.v2"));
    EXPECT_FALSE(Exists(log_)) << "Setup.exe ran in unpack-only mode";
    EXPECT_FALSE(Exists(WorkFolder(first_free_)));
}

TEST_F(EndToEnd, UnpackOnlyRetriesWithTheNameChosenInTheSaveDialog) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const std::string existing = UnpackFolder(exe);
    const std::string blocked = Join(folder_, "blocked");  // a plain file
    const std::string chosen = Join(folder_, "chosen");
    ASSERT_TRUE(MakeFolder(existing));
    ASSERT_TRUE(WriteFile(blocked, "x"));

    Process product;
    Start(product, exe);
    Confirm(product, true);
    Answer(product.pid(), "Self Unpack", RetryMessage(existing));

    HWND save = WaitDialog(product.pid(), IsSaveDialog);
    ASSERT_NE(save, nullptr) << "no save dialog";
    EXPECT_EQ(ControlText(save, kSaveFileNameBox), "Quolta");
    SetControlText(save, kSaveFileNameBox, blocked);
    Click(save, IDOK);
    EXPECT_TRUE(WaitGone(save));

    Answer(product.pid(), "Self Unpack", RetryMessage(blocked));
    save = WaitDialog(product.pid(), IsSaveDialog);
    ASSERT_NE(save, nullptr) << "no second save dialog";
    SetControlText(save, kSaveFileNameBox, chosen);
    Click(save, IDOK);
    EXPECT_TRUE(WaitGone(save));

    EXPECT_EQ(product.WaitExit(), kExitOk);
    ExpectSampleFiles(chosen);
    EXPECT_TRUE(List(existing).empty());
}

TEST_F(EndToEnd, UnpackOnlyAbandonsWhenTheUserGivesUp) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    ASSERT_TRUE(MakeFolder(UnpackFolder(exe)));
    for (bool at_message : {true, false}) {
        SCOPED_TRACE(at_message ? "cancel the message" : "cancel the save dialog");
        Process product;
        Start(product, exe);
        Confirm(product, true);
        Answer(product.pid(), "Self Unpack", RetryMessage(UnpackFolder(exe)),
               at_message ? IDCANCEL : IDOK);
        if (!at_message) {
            HWND save = WaitDialog(product.pid(), IsSaveDialog);
            ASSERT_NE(save, nullptr);
            Click(save, IDCANCEL);
            EXPECT_TRUE(WaitGone(save));
        }
        Answer(product.pid(), kCaption, kAbandon);
        EXPECT_EQ(product.WaitExit(), kExitPreparationFailed);
        EXPECT_TRUE(List(UnpackFolder(exe)).empty());
        EXPECT_TRUE(Children(product.pid()).empty());
    }
}

TEST_F(EndToEnd, CancellingTheConfirmationCreatesNothing) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const char* ways[] = {"button", "escape", "close box"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        Process product;
        Start(product, exe);
        HWND confirm = WaitDialog(product.pid(), IsConfirmation);
        ASSERT_NE(confirm, nullptr);
        if (std::string(way) == "button") {
            Click(confirm, IDCANCEL);
        } else if (std::string(way) == "escape") {
            PressEscape(confirm);
        } else {
            CloseBox(confirm);
        }
        EXPECT_EQ(product.WaitExit(), kExitCancelled);
        EXPECT_FALSE(Exists(UnpackFolder(exe)));
        EXPECT_EQ(FirstFreeWorkFolder(), first_free_);
    }
}

TEST_F(EndToEnd, RelaunchArgumentSkipsTheConfirmationAndInstalls) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    cleanup_ = {WorkFolder(first_free_)};
    Process product;
    Start(product, exe, "x/RUNASy");
    EXPECT_EQ(product.WaitExit(), kExitOk);
    EXPECT_NE(Log().find("own_folder=" + WorkFolder(first_free_) + "\n"), std::string::npos);
    EXPECT_FALSE(Exists(WorkFolder(first_free_)));

    // Small letters are no relaunch: the confirmation comes.
    Process asked;
    Start(asked, exe, "/runas");
    HWND confirm = WaitDialog(asked.pid(), IsConfirmation);
    ASSERT_NE(confirm, nullptr);
    Click(confirm, IDCANCEL);
    EXPECT_EQ(asked.WaitExit(), kExitCancelled);
}

TEST_F(EndToEnd, UnusableWorkFolderRelaunchesOnceAndTheRelaunchGivesUp) {
    // A plain file where the folder would go: it cannot be listed, and not created either.
    const std::string in_the_way = WorkFolder(first_free_);
    cleanup_ = {in_the_way};
    ASSERT_TRUE(WriteFile(in_the_way, ""));

    Process product;
    Start(product, Copy(E2E_QUOLTA_EXE));
    Confirm(product, false);
    // No message: the run ends by itself and asks for the elevated copy.
    EXPECT_EQ(product.WaitExit(), kExitPreparationFailed);
    const DWORD child = WaitChild(product.pid());
    ASSERT_NE(child, 0u) << "no relaunch";
    Process relaunched;
    ASSERT_TRUE(relaunched.Attach(child));
    started_.push_back(child);
    Answer(child, kCaption, kAbandon);
    EXPECT_EQ(relaunched.WaitExit(), kExitPreparationFailed);
    EXPECT_TRUE(Children(child).empty()) << "a relaunch relaunched again";
    EXPECT_FALSE(IsFolder(in_the_way));
}

// Where the product's package starts in its file, and its declared length L.
size_t FindPackage(const std::string& bytes, int32_t* length) {
    const std::string magic = "FILE_PACKER 1.00/***";
    for (size_t at = bytes.find(magic); at != std::string::npos; at = bytes.find(magic, at + 1)) {
        if (bytes.compare(at + 24, 8, "QZN-2000") != 0) continue;
        std::memcpy(length, bytes.data() + at + 20, 4);
        return at;
    }
    return std::string::npos;
}

constexpr int32_t kIntegrityRecordSize = 24;

// The product's file and where its package starts in it; npos, with a failure, when there is
// none.
size_t ReadPackage(const std::string& exe, std::string& bytes, int32_t& length) {
    bytes = ReadFile(exe);
    const size_t at = FindPackage(bytes, &length);
    if (at == std::string::npos) ADD_FAILURE() << "no package in " << exe;
    return at;
}

// The package's end byte, which must be 0, made into the start of another entry: every file is
// written before the reader notices. The header's length first drops the integrity record, as
// in a package made without one, so that it is the engine that meets the damage.
std::string BreakPackageEnd(const std::string& exe) {
    std::string bytes;
    int32_t length = 0;
    const size_t at = ReadPackage(exe, bytes, length);
    if (at == std::string::npos) return exe;
    length -= kIntegrityRecordSize;
    std::memcpy(bytes.data() + at + 20, &length, 4);
    bytes[at + static_cast<size_t>(length) + 23] = 5;
    WriteFile(exe, bytes);
    return exe;
}

// One bit of the first entry's last-write time flipped: the package still extracts without a
// fault the engine could see; only its integrity record tells.
std::string FlipWriteTimeBit(const std::string& exe) {
    std::string bytes;
    int32_t length = 0;
    const size_t at = ReadPackage(exe, bytes, length);
    if (at == std::string::npos) return exe;
    const size_t entry = at + 36;
    const auto name_length = static_cast<unsigned char>(bytes[entry]);
    bytes[entry + 1 + name_length + 4 + 4 + 8 + 8] ^= 0x01;
    WriteFile(exe, bytes);
    return exe;
}

TEST_F(EndToEnd, DamagedPackageFailsBeforeWritingAFileInEitherMode) {
    cleanup_ = {WorkFolder(first_free_)};
    for (const bool unpack_only : {true, false}) {
        const std::string exe =
            FlipWriteTimeBit(Copy(E2E_QUOLTA_EXE, unpack_only ? "Unpack.exe" : "Install.exe"));
        const std::string folder = unpack_only ? UnpackFolder(exe) : WorkFolder(first_free_);
        Process product;
        Start(product, exe);
        Confirm(product, unpack_only);
        HWND box = WaitMessageBox(product.pid());
        ASSERT_NE(box, nullptr) << "the failure was never shown";
        EXPECT_EQ(Text(box), kCaption);
        EXPECT_EQ(ControlText(box, kMessageBoxTextId), kCannotUnpack);
        EXPECT_TRUE(List(folder).empty()) << "a file was written from a damaged package";
        Click(box, IDOK);
        EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
        // Elevated rights cannot mend a damaged file: no relaunch, in install mode either.
        EXPECT_TRUE(Children(product.pid()).empty());
        EXPECT_FALSE(Exists(folder));
        EXPECT_FALSE(Exists(log_)) << "Setup.exe ran from a damaged package";
    }
}

TEST_F(EndToEnd, CorruptPackageInUnpackOnlyModeDeletesWhatWasWritten) {
    const std::string exe = BreakPackageEnd(Copy(E2E_QUOLTA_EXE));
    Process product;
    Start(product, exe);
    Confirm(product, true);
    HWND box = WaitMessageBox(product.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, kMessageBoxTextId), kCannotUnpack);
    EXPECT_EQ(Text(box), kCaption);
    EXPECT_FALSE(List(UnpackFolder(exe)).empty()) << "nothing was written before the failure";
    Click(box, IDOK);
    EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
    EXPECT_FALSE(Exists(UnpackFolder(exe)));
    EXPECT_TRUE(Children(product.pid()).empty());
}

TEST_F(EndToEnd, CorruptPackageInInstallModeRelaunchesAndTheRelaunchSaysSo) {
    cleanup_ = {WorkFolder(first_free_), WorkFolder(first_free_ + 1)};
    Process product;
    Start(product, BreakPackageEnd(Copy(E2E_QUOLTA_EXE)));
    Confirm(product, false);
    EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
    const DWORD child = WaitChild(product.pid());
    ASSERT_NE(child, 0u) << "no relaunch";
    Process relaunched;
    ASSERT_TRUE(relaunched.Attach(child));
    started_.push_back(child);
    Answer(child, kCaption, kCannotUnpack);
    EXPECT_EQ(relaunched.WaitExit(), kExitExtractionFailed);
    EXPECT_TRUE(Children(child).empty());
    EXPECT_FALSE(Exists(WorkFolder(first_free_)));
    EXPECT_FALSE(Exists(WorkFolder(first_free_ + 1)));
    EXPECT_FALSE(Exists(log_)) << "Setup.exe ran from a broken package";
}

TEST_F(EndToEnd, MissingPackageLeavesTheWindowOpenUntilClosed) {
    const std::string exe = Copy(E2E_NO_PACKAGE_EXE);
    Process product;
    Start(product, exe);
    Confirm(product, true);
    Answer(product.pid(), kCaption, kCannotUnpack);
    HWND progress = WaitDialog(product.pid(), IsProgress);
    ASSERT_NE(progress, nullptr);
    Sleep(500);
    EXPECT_TRUE(product.Running()) << "the window did not wait for the user";
    CloseBox(progress);
    EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
    EXPECT_TRUE(IsFolder(UnpackFolder(exe)));
    EXPECT_TRUE(List(UnpackFolder(exe)).empty());
}

// The bar stops moving once the window is closed: short of 100 means the close came first.
int BarPercent(HWND progress) {
    Sleep(200);
    DWORD_PTR percent = 0;
    SendMessageTimeoutW(GetDlgItem(progress, kProgressBar), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &percent);
    return static_cast<int>(percent);
}

// On a busy machine the extraction may now and then win the race against the close; the run
// is then repeated, since only a close during extraction tests anything here.
constexpr int kCloseAttempts = 5;

TEST_F(EndToEnd, ClosingTheWindowDuringExtractionLetsTheWorkerFinish) {
    cleanup_ = {WorkFolder(first_free_)};
    const std::string exe = Copy(E2E_BIG_EXE, "Big.exe");
    bool closed_during_extraction = false;
    for (int attempt = 0; attempt < kCloseAttempts && !closed_during_extraction; ++attempt) {
        Remove(log_);
        Process product;
        Start(product, exe);
        Confirm(product, false);
        HWND progress = WaitDialog(product.pid(), IsProgress);
        ASSERT_NE(progress, nullptr);
        CloseBox(progress);
        closed_during_extraction = BarPercent(progress) < 100;
        EXPECT_EQ(product.WaitExit(60000), kExitOk);
        EXPECT_NE(Log().find("file=big.bin\t"), std::string::npos) << "Setup.exe did not run";
        EXPECT_FALSE(Exists(WorkFolder(first_free_)));
    }
    EXPECT_TRUE(closed_during_extraction) << "the extraction always ended before the close";
}

TEST_F(EndToEnd, FailureAfterTheWindowClosedStillShowsTheBoxAndCleansUp) {
    const std::string exe = BreakPackageEnd(Copy(E2E_BIG_EXE, "Big.exe"));
    bool closed_during_extraction = false;
    for (int attempt = 0; attempt < kCloseAttempts && !closed_during_extraction; ++attempt) {
        Process product;
        Start(product, exe);
        Confirm(product, true);
        HWND progress = WaitDialog(product.pid(), IsProgress);
        ASSERT_NE(progress, nullptr);
        // When the failure is already on screen its box disables the window, which a user then
        // cannot close; a close sent anyway would end the box's loop. Such a run came too late
        // to test anything and is repeated.
        if (HWND early = WaitMessageBox(product.pid(), 0);
            early != nullptr || IsWindowEnabled(progress) == 0) {
            if (early == nullptr) early = WaitMessageBox(product.pid(), 60000);
            ASSERT_NE(early, nullptr) << "the failure was never shown";
            Click(early, IDOK);
            EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
            continue;
        }
        CloseBox(progress);
        closed_during_extraction = BarPercent(progress) < 100;
        // The main thread has left its loop by now; the worker's report must still get through.
        HWND box = WaitMessageBox(product.pid(), 60000);
        ASSERT_NE(box, nullptr) << "the failure was never shown";
        EXPECT_EQ(ControlText(box, kMessageBoxTextId), kCannotUnpack);
        Click(box, IDOK);
        EXPECT_EQ(product.WaitExit(), kExitExtractionFailed);
        EXPECT_FALSE(Exists(UnpackFolder(exe)));
    }
    EXPECT_TRUE(closed_during_extraction) << "the extraction always ended before the close";
}

TEST_F(EndToEnd, DllsPlantedNextToTheProgramAreNotLoaded) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    for (const char* name :
         {"comctl32.dll", "comdlg32.dll", "shell32.dll", "uxtheme.dll", "version.dll"}) {
        ASSERT_TRUE(CopyTo(WindowsPath(E2E_PLANTED_DLL), Join(folder_, name)));
    }
    const std::string marker = Join(folder_, "planted-dll-ran");
    SetVariable("FILESPACK_PLANT_MARKER", marker.c_str());
    // The folder in the way brings up the save dialog, so every DLL the program uses is in.
    ASSERT_TRUE(MakeFolder(UnpackFolder(exe)));

    Process product;
    Start(product, exe);
    Confirm(product, true);
    Answer(product.pid(), "Self Unpack", RetryMessage(UnpackFolder(exe)));
    HWND save = WaitDialog(product.pid(), IsSaveDialog);
    ASSERT_NE(save, nullptr);
    const std::vector<std::string> modules = Modules(product.pid());
    EXPECT_GT(modules.size(), 3u);
    // Wine's own user32 imports version.dll, so the loader resolves that name before the
    // program runs a line (Wine then still runs its built-in copy: the marker below stays
    // absent). Every DLL the program itself brings in must come from the system folder.
    const std::string wine_load_time = Join(folder_, "version.dll");
    for (const std::string& path : modules) {
        const bool in_program_folder = path.compare(0, folder_.size() + 1, folder_ + "\\") == 0;
        EXPECT_TRUE(!in_program_folder || path == exe || path == wine_load_time)
            << "loaded " << path;
    }
    Click(save, IDCANCEL);
    Answer(product.pid(), kCaption, kAbandon);
    EXPECT_EQ(product.WaitExit(), kExitPreparationFailed);
    SetVariable("FILESPACK_PLANT_MARKER", nullptr);
    EXPECT_FALSE(Exists(marker));
}

// Unattended runs: what a deployment tool starts and reads back.

constexpr size_t npos = std::string::npos;

// A /LOG= file: UTF-8 with a byte-order mark, then every line with local time, process id, one
// event.
void ExpectLogLines(const std::string& log) {
    static const std::regex line("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\[\\d+\\] [^\\r\\n]+");
    ASSERT_EQ(log.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte-order mark: " << log;
    EXPECT_GT(log.size(), 3u);
    for (size_t at = 3; at < log.size();) {
        const size_t end = log.find("\r\n", at);
        ASSERT_NE(end, npos) << "unterminated line in " << log;
        EXPECT_TRUE(std::regex_match(log.substr(at, end - at), line)) << log.substr(at, end - at);
        at = end + 2;
    }
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), npos, end) == 0;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(EndToEnd, UnattendedInstallPassesArgumentsAndReturnsSetupsExitCode) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    for (const char* code : {"0", "1", "3010"}) {
        SCOPED_TRACE(code);
        Remove(log_);
        SetVariable("FILESPACK_SETUP_EXIT", code);
        EXPECT_EQ(RunUnattended(exe, "/S -- /quiet  \"two words\" /norestart"), std::stoll(code));
        const std::string log = Log();
        EXPECT_NE(log.find("command_line=\"" + Join(work, "Setup.exe") +
                           "\" /quiet  \"two words\" /norestart\n"),
                  npos)
            << log;
        EXPECT_NE(log.find("argument=/quiet\nargument=two words\nargument=/norestart\n"), npos)
            << log;
        EXPECT_FALSE(Exists(work));
    }
    // "/?" under /S shows nothing and changes nothing.
    SetVariable("FILESPACK_SETUP_EXIT", nullptr);
    EXPECT_EQ(RunUnattended(exe, "/? /s"), kExitOk);
}

TEST_F(EndToEnd, UnattendedUnpackMakesANewFolderAndNeverWritesIntoAnExistingOne) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    // 表 ends in byte 0x5C, right before the closing quote.
    const std::string dest = Join(folder_, "予定表");
    EXPECT_EQ(RunUnattended(exe, "/S \"/UNPACK=" + dest + "\""), kExitOk);
    ExpectSampleFiles(dest);
    EXPECT_FALSE(Exists(log_)) << "Setup.exe ran";

    const std::string changed = Join(dest, "予定表.txt");
    ASSERT_TRUE(WriteFile(changed, "changed"));
    EXPECT_EQ(RunUnattended(exe, "/s /unpack=" + dest), kExitPreparationFailed);
    EXPECT_EQ(ReadFile(changed), "changed");

    // A relative folder is the starting folder's, and missing folders above it are made.
    EXPECT_EQ(RunUnattended(exe, "/UNPACK=\"a b\\c\\\\\" /S", folder_), kExitOk);
    ExpectSampleFiles(Join(folder_, "a b\\c"));
    EXPECT_FALSE(Exists(UnpackFolder(exe)));
}

TEST_F(EndToEnd, UnattendedRunWithABrokenPackageEndsAtOnceLeavingNothing) {
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work, WorkFolder(first_free_ + 1)};
    const struct {
        const char* what;
        std::string exe;
        const char* arguments;
    } cases[] = {
        {"missing, install", Copy(E2E_NO_PACKAGE_EXE, "Missing.exe"), "/S"},
        {"missing, unpack", Copy(E2E_NO_PACKAGE_EXE, "Missing.exe"), "/S /UNPACK"},
        {"damaged, install", FlipWriteTimeBit(Copy(E2E_QUOLTA_EXE, "Damaged.exe")), "/S"},
        {"cut short, unpack", BreakPackageEnd(Copy(E2E_QUOLTA_EXE, "Cut.exe")), "/S /UNPACK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string run_log = Join(folder_, "run.log");
        Remove(run_log);
        EXPECT_EQ(RunUnattended(c.exe, std::string(c.arguments) + " /LOG=" + run_log),
                  kExitExtractionFailed);
        EXPECT_FALSE(Exists(work));
        EXPECT_FALSE(Exists(UnpackFolder(c.exe)));
        EXPECT_FALSE(Exists(log_)) << "Setup.exe ran";
        const std::string log = ReadFile(run_log);
        ExpectLogLines(log);
        EXPECT_EQ(log.find("relaunch"), npos) << "elevation cannot mend a package: " << log;
        EXPECT_NE(log.find("exit code 3: the package is missing"), npos) << log;
    }
    // The cut package wrote its files before the engine met the damage: the log names them.
    const std::string log = ReadFile(Join(folder_, "run.log"));
    EXPECT_NE(log.find("file: " + Join(UnpackFolder(Join(folder_, "Cut.exe")), "Setup.exe")), npos)
        << log;
    EXPECT_NE(log.find("extraction failed: "), npos) << log;
}

TEST_F(EndToEnd, UnattendedRelaunchCarriesTheSwitchesAndIsWaitedFor) {
    const std::string in_the_way = WorkFolder(first_free_);
    cleanup_ = {in_the_way};
    ASSERT_TRUE(WriteFile(in_the_way, ""));
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    // Relative: the copy starts in another folder, so the path must reach it made absolute.
    EXPECT_EQ(RunUnattended(exe, "/S /LOG=run.log -- /quiet x/RUNASy", folder_),
              kExitPreparationFailed);
    EXPECT_FALSE(Exists(log_)) << "Setup.exe ran";

    const std::string run_log = Join(folder_, "run.log");
    const std::string log = ReadFile(run_log);
    ExpectLogLines(log);
    EXPECT_EQ(Count(log, "] start: "), 2u) << log;
    EXPECT_EQ(Count(log, "relaunch: starting"), 1u) << "the copy relaunched again: " << log;
    const size_t copy_started =
        log.find("command line: /RUNAS /S /LOG=" + run_log + " -- /quiet x/RUNASy\r\n");
    EXPECT_NE(copy_started, npos) << log;
    const size_t copy_ended = log.find("exit code 2: no destination folder\r\n");
    EXPECT_NE(copy_ended, npos) << log;
    EXPECT_GT(copy_ended, copy_started);
    // The first run's last line, after the copy's.
    EXPECT_TRUE(EndsWith(log, "exit code 2: the elevated copy's\r\n")) << log;
}

TEST_F(EndToEnd, LogNamesEveryFileAndTheOutcomeInBothModes) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const std::string work = WorkFolder(first_free_);
    const std::string dest = Join(folder_, "dest");
    cleanup_ = {work};
    SetVariable("FILESPACK_SETUP_EXIT", "3010");
    const std::string install_log = Join(folder_, "install.log");
    const std::string unpack_log = Join(folder_, "unpack.log");
    EXPECT_EQ(RunUnattended(exe, "/S /LOG=" + install_log), 3010);
    // Without /S: the run is a person's, and the log records it all the same.
    Process product;
    Start(product, exe, "/UNPACK=" + dest + " /LOG=" + unpack_log);
    EXPECT_EQ(product.WaitExit(), kExitOk);

    std::vector<std::string> names = List(WindowsPath(E2E_SAMPLE_FILES));
    names.push_back("Setup.exe");
    for (const auto& [log_path, folder] :
         {std::pair{install_log, work}, std::pair{unpack_log, dest}}) {
        SCOPED_TRACE(log_path);
        const std::string log = ReadFile(log_path);
        ExpectLogLines(log);
        EXPECT_NE(log.find("destination: " + folder + "\r\n"), npos) << log;
        for (const std::string& name : names) {
            EXPECT_NE(log.find("file: " + Join(folder, name) + " ("), npos) << name << "\n" << log;
        }
    }
    const std::string installed = ReadFile(install_log);
    EXPECT_NE(installed.find("Setup.exe: \"" + Join(work, "Setup.exe") + "\"\r\n"), npos);
    EXPECT_NE(installed.find("Setup.exe: exit code 3010\r\n"), npos) << installed;
    EXPECT_NE(installed.find("clean-up: removed " + work + "\r\n"), npos) << installed;
    EXPECT_TRUE(EndsWith(installed, "exit code 3010: Setup.exe's own\r\n")) << installed;
    const std::string unpacked = ReadFile(unpack_log);
    EXPECT_TRUE(EndsWith(unpacked, "exit code 0: completed\r\n")) << unpacked;
}

TEST_F(EndToEnd, UnattendedInstallTakesTheNextWorkFolderWhenAnotherRunTakesItsNumber) {
    // Other installs making UnpackDirN between this run's search and its creation: threads
    // make and remove the first few free folders over and over (only ever their own), so that
    // some runs meet one.
    constexpr int kContested = 3;
    std::atomic<bool> stop{false};
    std::vector<std::thread> others;
    for (int i = 0; i < kContested; ++i) {
        const std::string contested = WorkFolder(first_free_ + i);
        cleanup_.push_back(contested);
        others.emplace_back([&stop, contested] {
            while (!stop) {
                if (MakeFolder(contested)) RemoveFolder(contested);
            }
        });
    }
    cleanup_.push_back(WorkFolder(first_free_ + kContested));
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const std::string run_log = Join(folder_, "run.log");
    constexpr int kRuns = 6;
    for (int i = 0; i < kRuns; ++i) {
        Process product;
        Start(product, exe, "/S /LOG=" + run_log);
        EXPECT_EQ(product.WaitExit(), kExitOk) << i;
    }
    stop = true;
    for (std::thread& other : others) other.join();
    const std::string log = ReadFile(run_log);
    EXPECT_EQ(log.find("relaunch"), npos) << log;
    EXPECT_EQ(Count(log, "exit code 0: Setup.exe's own\r\n"), size_t{kRuns}) << log;
}

TEST_F(EndToEnd, UsageBoxListsTheSwitches) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    Process product;
    Start(product, exe, "/?");
    HWND box = WaitMessageBox(product.pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Text(box), kCaption);
    const std::string text = ControlText(box, kMessageBoxTextId);
    EXPECT_EQ(text.rfind("使い方: QuoltaSetup.exe ", 0), 0u) << text;
    for (const char* name :
         {"\n/S\t", "\n/UNPACK\n", "\n/UNPACK=", "\n/LOG=", "\n--\t", "\n/?\t"}) {
        EXPECT_NE(text.find(name), npos) << name;
    }
    Click(box, IDOK);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    EXPECT_EQ(FirstFreeWorkFolder(), first_free_);
    EXPECT_FALSE(Exists(UnpackFolder(exe)));
}

// What a batch file's unset %DEST% gives: never an unpack beside the program, nor a silent run
// without the log that was asked for.
TEST_F(EndToEnd, EmptySwitchValueIsRefusedBeforeAnythingIsMade) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    for (const char* arguments : {"/S /UNPACK=", "/S /UNPACK /LOG=", "/LOG=\"\" /s"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(RunUnattended(exe, arguments), kExitBadCommandLine);
    }
    Process product;
    Start(product, exe, "/UNPACK=");
    HWND box = WaitMessageBox(product.pid());
    ASSERT_NE(box, nullptr);
    const std::string text = ControlText(box, kMessageBoxTextId);
    EXPECT_EQ(text.rfind("使い方: QuoltaSetup.exe ", 0), 0u) << text;
    Click(box, IDOK);
    EXPECT_EQ(product.WaitExit(), kExitBadCommandLine);
    EXPECT_EQ(FirstFreeWorkFolder(), first_free_);
    EXPECT_FALSE(Exists(UnpackFolder(exe)));
}

TEST_F(EndToEnd, UnpackSwitchSkipsTheConfirmationButAsksForAnotherFolder) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    const std::string existing = Join(folder_, "existing");
    const std::string chosen = Join(folder_, "chosen");
    ASSERT_TRUE(MakeFolder(existing));
    Process product;
    Start(product, exe, "/UNPACK=" + existing);
    // The first window is the usual message about the folder, not the confirmation.
    Answer(product.pid(), "Self Unpack", RetryMessage(existing));
    HWND save = WaitDialog(product.pid(), IsSaveDialog);
    ASSERT_NE(save, nullptr) << "no save dialog";
    SetControlText(save, kSaveFileNameBox, chosen);
    Click(save, IDOK);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    ExpectSampleFiles(chosen);
    EXPECT_TRUE(List(existing).empty());
}

TEST_F(EndToEnd, SetupHeldOpenByAnotherProgramIsStartedOnceItIsLetGo) {
    // The big product writes Setup.exe first, then 24 MB: time to open Setup.exe without
    // sharing, as a virus scanner does right after a file was written.
    const std::string exe = Copy(E2E_BIG_EXE);
    const std::string work = WorkFolder(first_free_);
    const std::string run_log = Join(folder_, "run.log");
    cleanup_ = {work};
    Process product;
    Start(product, exe, "/S /LOG=" + run_log);
    const std::wstring setup = Wide(Join(work, "Setup.exe"));
    HANDLE held = INVALID_HANDLE_VALUE;
    const ULONGLONG end = GetTickCount64() + kWaitMs;
    while (held == INVALID_HANDLE_VALUE && product.Running() && GetTickCount64() < end) {
        held = CreateFileW(setup.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "Setup.exe never appeared";
    while (ReadFile(run_log).find("Setup.exe: not startable yet") == npos && product.Running() &&
           GetTickCount64() < end) {
        Sleep(20);
    }
    CloseHandle(held);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    const std::string log = ReadFile(run_log);
    EXPECT_NE(log.find("Setup.exe: not startable yet (error 32), trying again"), npos) << log;
    EXPECT_NE(log.find("Setup.exe: exit code 0"), npos) << log;
    EXPECT_FALSE(Exists(work)) << "work folder left behind";
}

TEST_F(EndToEnd, UnpacksAndLogsIntoAFolderLongerThanMaxPath) {
    // Wine enforces no MAX_PATH, so this only shows that the long form reaches the files; the
    // form itself is tested natively.
    const std::string name = "a folder name of forty characters, or so";
    std::string out = folder_;
    std::string logs = Join(folder_, "logs");
    ASSERT_TRUE(MakeFolder(logs));
    while (out.size() < 300) out = Join(out, name);
    while (logs.size() < 300) {
        logs = Join(logs, name);
        ASSERT_TRUE(MakeFolder(logs));
    }
    const std::string run_log = Join(logs, "run.log");
    EXPECT_EQ(RunUnattended(Copy(E2E_QUOLTA_EXE), "/S \"/UNPACK=" + out + "\" \"/LOG=" + run_log + "\""),
              kExitOk);
    ExpectSampleFiles(out);
    EXPECT_NE(ReadFile(run_log).find("exit code 0: completed"), npos);
}

// The same product on every language setting: these run again under English, Chinese, Korean
// and UTF-8 settings (label "languages", scripts/test.sh).
class Languages : public EndToEnd {};

// Their Shift-JIS forms end in the byte 0x5C, a backslash on most other code pages.
const std::vector<std::string> kBackslashNames = {"表", "ソ", "能", "十", "予定表"};

void ExpectBackslashNames(const std::string& folder) {
    std::vector<std::string> expected = kBackslashNames;
    expected.push_back("Setup.exe");
    std::vector<std::string> got = List(folder);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << folder;
    for (const std::string& name : kBackslashNames) {
        EXPECT_EQ(ReadFile(Join(folder, name)), name + "\n") << name;
    }
}

TEST_F(Languages, NamesEndingInTheBackslashByteUnpackAsThemselvesWhereverAsked) {
    const std::string exe = Copy(E2E_BACKSLASH_EXE);
    const std::string out = Join(folder_, "Out 表 ë");
    const std::string run_log = Join(folder_, "記録 ë.log");
    EXPECT_EQ(RunUnattended(exe, "/S \"/UNPACK=" + out + "\" \"/LOG=" + run_log + "\""), kExitOk);
    ExpectBackslashNames(out);
    const std::string log = ReadFile(run_log);
    ExpectLogLines(log);
    EXPECT_NE(log.find("destination: " + out + "\r\n"), npos) << log;
    EXPECT_NE(log.find("file: " + Join(out, "予定表") + " ("), npos) << log;
}

TEST_F(Languages, AProductWhoseFolderShiftJisCannotSpellUnpacksNextToItselfAndInstalls) {
    const std::string home = Join(folder_, "Zoë 王");
    ASSERT_TRUE(MakeFolder(home));
    const std::string exe = Join(home, "QuoltaSetup.exe");
    ASSERT_TRUE(CopyTo(WindowsPath(E2E_QUOLTA_EXE), exe));
    EXPECT_EQ(RunUnattended(exe, "/S /UNPACK"), kExitOk);
    ExpectSampleFiles(UnpackFolder(exe));

    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    EXPECT_EQ(RunUnattended(exe, "/S"), kExitOk);
    EXPECT_NE(Log().find("own_folder=" + work + "\n"), npos) << Log();
    EXPECT_FALSE(Exists(work)) << "work folder left behind";
}

TEST_F(Languages, TheConfirmationShowsTheProductsTexts) {
    const std::string exe = Copy(E2E_QUOLTA_EXE);
    Process product;
    Start(product, exe);
    HWND confirm = WaitDialog(product.pid(), IsConfirmation);
    ASSERT_NE(confirm, nullptr) << "no confirmation dialog";
    EXPECT_EQ(Text(confirm), kTitle);
    EXPECT_EQ(ControlText(confirm, kExplanation),
              "インターネット電話 Quolta をインストールします。\r\n\r\n"
              "パッケージの解凍のみを行う場合は、[解凍のみ] をチェック状態にして下さい。\r\n"
              "[解凍のみ] を選択した場合は、解凍フォルダ内の [Setup.exe] "
              "を実行するとイントールできます。\r\n");
    EXPECT_EQ(ControlText(confirm, IDOK), "開始");
    EXPECT_EQ(ControlText(confirm, IDCANCEL), "ｷｬﾝｾﾙ");
    EXPECT_EQ(ControlText(confirm, kUnpackOnlyBox), "解凍のみ");
    Click(confirm, kUnpackOnlyBox);
    Click(confirm, IDOK);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    ExpectSampleFiles(UnpackFolder(exe));
}

TEST_F(Languages, FilespackListsTestsAndExtractsTheProduct) {
    const std::string exe = Copy(E2E_BACKSLASH_EXE);
    const std::string out = Join(folder_, "Out 表 ë");
    for (const std::string& arguments : {"list \"" + exe + "\"", "test -q \"" + exe + "\"",
                                         "extract -q \"" + exe + "\" -o \"" + out + "\""}) {
        Process tool;
        ASSERT_TRUE(tool.Start(WindowsPath(E2E_FILESPACK_EXE), arguments));
        EXPECT_EQ(tool.WaitExit(), kExitOk) << arguments;
    }
    ExpectBackslashNames(out);
}

}  // namespace

// `filespack exe` by hand and filespack_add_product are one road: the same inputs give the
// same program, which installs and unpacks as every test above has the CMake product do.
TEST_F(EndToEnd, ProductStampedByHandIsTheBuildsProductAndRunsAlike) {
    EXPECT_EQ(ReadFile(WindowsPath(E2E_BY_HAND_EXE)), ReadFile(WindowsPath(E2E_QUOLTA_EXE)));
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    Process install;
    Start(install, Copy(E2E_BY_HAND_EXE));
    Confirm(install, false);
    EXPECT_EQ(install.WaitExit(), kExitOk);
    EXPECT_NE(Log().find("file=Setup.exe\t"), std::string::npos) << Log();
    EXPECT_FALSE(Exists(work));

    const std::string exe = Copy(E2E_BY_HAND_EXE, "ByHand.exe");
    Process unpack;
    Start(unpack, exe);
    Confirm(unpack, true);
    EXPECT_EQ(unpack.WaitExit(), kExitOk);
    ExpectSampleFiles(UnpackFolder(exe));
}

// The generic program as built, stamped with nothing: the identity of an application without a
// product, and so no package under the default name.
TEST_F(EndToEnd, GenericProgramWithoutIdentityShowsTheDefaults) {
    const std::string exe = Copy(E2E_GENERIC_EXE, "Generic.exe");
    Process program;
    Start(program, exe);
    HWND confirm = WaitDialog(program.pid(), IsConfirmation);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(Text(confirm), "Self Unpack ");
    EXPECT_EQ(ControlText(confirm, 1003).rfind(" をインストールします。", 0), 0u);
    Click(confirm, kUnpackOnlyBox);
    Click(confirm, IDOK);
    Answer(program.pid(), "Self Unpack", kCannotUnpack);
    HWND progress = WaitDialog(program.pid(), IsProgress);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(Text(progress), "SelfUnpack -  ");
    CloseBox(progress);
    EXPECT_EQ(program.WaitExit(), kExitExtractionFailed);
}

// A signature lies behind the sections the program reads: the signed product unpacks alike.
TEST_F(EndToEnd, SignedProductUnpacksAlike) {
    const std::string exe = Copy(E2E_SIGNED_EXE);
    Process product;
    Start(product, exe);
    Confirm(product, true);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    ExpectSampleFiles(UnpackFolder(exe));
}

// The tree product's data files, by the names the package gives them.
const std::vector<std::string> kTreeFiles = {"data\\readme.txt", "data\\images\\logo.txt",
                                             "lang\\ja\\messages.txt", "表\\ソ\\能.txt"};

TEST_F(EndToEnd, TreeUnpackOnlyKeepsTheTree) {
    const std::string exe = Copy(E2E_TREE_EXE);
    Process product;
    Start(product, exe);
    Confirm(product, true);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    const std::string dest = UnpackFolder(exe);
    const std::string source = WindowsPath(E2E_TREE_FILES);
    for (const std::string& name : kTreeFiles) {
        EXPECT_EQ(ReadFile(Join(dest, name)), ReadFile(Join(source, name))) << name;
    }
    EXPECT_TRUE(Exists(Join(dest, "lang\\Setup.exe")));
    EXPECT_NE(GetFileAttributesA(Join(dest, "data\\images\\logo.txt").c_str()) &
                  FILE_ATTRIBUTE_READONLY,
              0u);
    EXPECT_FALSE(Exists(log_)) << "Setup.exe ran in unpack-only mode";
}

// Only the Setup.exe at the top runs; the clean-up takes back the tree, the read-only file deep
// inside included, but not what Setup.exe made inside one of its folders.
TEST_F(EndToEnd, TreeInstallRunsTheTopSetupAndTakesBackOnlyTheTree) {
    const std::string work = WorkFolder(first_free_);
    cleanup_ = {work};
    Process product;
    Start(product, Copy(E2E_TREE_EXE));
    Confirm(product, false);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    const std::string log = Log();
    EXPECT_NE(log.find("command_line=\"" + Join(work, "Setup.exe") + "\"\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("own_folder=", log.find("own_folder=") + 1), std::string::npos) << log;
    EXPECT_FALSE(Exists(work)) << "the tree was left behind";

    SetEnvironmentVariableA("FILESPACK_SETUP_MKDIR", "data\\made by setup");
    Process again;
    Start(again, Copy(E2E_TREE_EXE));
    Confirm(again, false);
    EXPECT_EQ(again.WaitExit(), kExitOk);
    EXPECT_EQ(List(work), std::vector<std::string>{"data"});
    EXPECT_EQ(List(Join(work, "data")), std::vector<std::string>{"made by setup"});
}

// A file deep in the tree that a scanner holds at clean-up time is waited for, as one at the top
// is, instead of keeping the whole work folder.
TEST_F(EndToEnd, TreeCleanUpWaitsForAFileAnotherProgramHolds) {
    const std::string work = WorkFolder(first_free_);
    const std::string run_log = Join(folder_, "run.log");
    cleanup_ = {work};
    Process product;
    Start(product, Copy(E2E_TREE_EXE), "/S /LOG=" + run_log);
    const std::wstring deep = Wide(Join(work, "data\\images\\logo.txt"));
    HANDLE held = INVALID_HANDLE_VALUE;
    const ULONGLONG end = GetTickCount64() + kWaitMs;
    while (held == INVALID_HANDLE_VALUE && product.Running() && GetTickCount64() < end) {
        held = CreateFileW(deep.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "the file never appeared";
    while (ReadFile(run_log).find("logo.txt is held") == npos && product.Running() &&
           GetTickCount64() < end) {
        Sleep(20);
    }
    CloseHandle(held);
    EXPECT_EQ(product.WaitExit(), kExitOk);
    EXPECT_NE(ReadFile(run_log).find("logo.txt is held (error 32), trying again"), npos)
        << ReadFile(run_log);
    EXPECT_FALSE(Exists(work)) << "the tree was left behind";
}
