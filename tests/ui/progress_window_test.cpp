// The progress window is UnpackApp's own dialog (template 101).
#include <windows.h>
// commctrl.h needs the types of windows.h before it.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "package/window_progress.h"
#include "resources/resource_ids.h"
#include "runner/unpack_app.h"
#include "tests/ui/sample_product_app.h"
#include "tests/ui/window_driver.h"
#include "ui/window_messages.h"

namespace {

using Quolta = ProductApp;

class DefaultIdentity final : public UnpackApp {};

// Creates the window as the run sequence does, and destroys it before the object goes.
template <class App>
class ProgressWindow {
  public:
    ProgressWindow() { app.CreateModeless(nullptr, IDD_PROGRESS); }
    ~ProgressWindow() { app.Destroy(); }

    int Position() { return static_cast<int>(SendMessageA(Bar(), PBM_GETPOS, 0, 0)); }
    HWND Bar() { return GetDlgItem(app.window, IDC_PROGRESS_BAR); }
    std::string Status() { return WindowText(GetDlgItem(app.window, IDC_STATUS_TEXT)); }

    App app;
};

TEST(ProgressWindow, StartsHiddenWithItsTitleRangeAndStatus) {
    ProgressWindow<Quolta> progress;
    ASSERT_NE(progress.app.window, nullptr);
    EXPECT_EQ(progress.app.progress_bar, progress.Bar());
    EXPECT_FALSE(IsWindowVisible(progress.app.window));
    EXPECT_EQ(WindowText(progress.app.window), "SelfUnpack - Quolta Ver 1.71");
    EXPECT_EQ(progress.Status(), "準備中．．．");
    PBRANGE range{};
    SendMessageA(progress.Bar(), PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(progress.Position(), 0);
}

TEST(ProgressWindow, DefaultIdentityLeavesTwoBlanksInTheTitle) {
    ProgressWindow<DefaultIdentity> progress;
    EXPECT_EQ(WindowText(progress.app.window), "SelfUnpack -  ");
}

TEST(ProgressWindow, BarShowsTheWholePercentOfThePackageConsumed) {
    ProgressWindow<Quolta> progress;
    struct Case {
        WPARAM done;
        LPARAM total;
        int percent;
    };
    const Case cases[] = {
        {1, 3, 33},
        {2, 3, 66},
        {0, 5000, 0},
        {5000, 5000, 100},
        // 100 * done would overflow 32 bits.
        {2000000000, 2100000000, 95},
    };
    for (const Case& c : cases) {
        SendMessageA(progress.app.window, MSG_PROGRESS, c.done, c.total);
        EXPECT_EQ(progress.Position(), c.percent) << c.done << " of " << c.total;
    }
    // The handler answers the bar's previous position.
    SendMessageA(progress.app.window, MSG_PROGRESS, 1, 3);
    EXPECT_EQ(progress.app.WindowProc(MSG_PROGRESS, 2, 3), 33);
}

TEST(ProgressWindow, ProgressWithoutAWindowDoesNothing) {
    Quolta app;
    EXPECT_EQ(app.WindowProc(MSG_PROGRESS, 1, 3), 0);
}

TEST(ProgressWindow, PleaseWaitChangesTheStatusForGood) {
    ProgressWindow<Quolta> progress;
    // A dialog's SendMessage result is DWL_MSGRESULT, so ask the handler itself.
    EXPECT_NE(progress.app.WindowProc(MSG_PLEASE_WAIT, 0, 0), 0);
    EXPECT_EQ(progress.Status(), "しばらくお待ちください。");
    SendMessageA(progress.app.window, MSG_PROGRESS, 1, 2);
    EXPECT_EQ(progress.Status(), "しばらくお待ちください。");
}

TEST(ProgressWindow, FailureInInstallModeCountsElevationRequestsSilently) {
    ProgressWindow<Quolta> progress;
    progress.app.install_mode = 1;
    const int32_t before = elevation_requests;
    EXPECT_EQ(progress.app.WindowProc(MSG_FAILED, 0, 0), 0);
    EXPECT_EQ(progress.app.WindowProc(MSG_FAILED, 0, 0), 0);
    EXPECT_EQ(elevation_requests, before + 2);
    EXPECT_EQ(progress.app.worker_failed, 1);
    // No box came up: the calls returned without anyone dismissing one.
    elevation_requests = before;
}

struct FailureBox {
    std::string caption;
    std::string text;
    int buttons = 0;
    bool icon = false;
};

// Reads the box the main thread is blocked in, then presses its button.
FailureBox ReadAndDismissFailureBox(UnpackApp& app) {
    FailureBox box;
    DialogDriver driver(IsMessageBox, [&](HWND found) {
        box.caption = WindowText(found);
        box.text = WindowText(GetDlgItem(found, 0xFFFF));
        HWND button = nullptr;
        for (HWND child = GetWindow(found, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            if (ClassName(child) == "Button" && IsWindowVisible(child)) {
                ++box.buttons;
                button = child;
            }
            if (ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON &&
                IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0) != 0) {
                box.icon = true;
            }
        }
        SendMessageA(button, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(app.WindowProc(MSG_FAILED, 0, 0), 0);
    EXPECT_TRUE(driver.Found());
    return box;
}

TEST(ProgressWindow, FailureInUnpackOnlyModeTellsTheUser) {
    ProgressWindow<Quolta> progress;
    progress.app.install_mode = 0;
    const int32_t before = elevation_requests;
    const FailureBox box = ReadAndDismissFailureBox(progress.app);
    EXPECT_EQ(box.caption, "SelfUnpack - Quolta");
    EXPECT_EQ(box.text, "解凍できません！");
    EXPECT_EQ(box.buttons, 1);
    EXPECT_FALSE(box.icon);
    EXPECT_EQ(elevation_requests, before);
}

TEST(ProgressWindow, FailureInARelaunchedInstallTellsTheUserInsteadOfAskingAgain) {
    ProgressWindow<Quolta> progress;
    progress.app.install_mode = 1;
    progress.app.is_relaunch = 1;
    const int32_t before = elevation_requests;
    const FailureBox box = ReadAndDismissFailureBox(progress.app);
    EXPECT_EQ(box.text, "解凍できません！");
    EXPECT_EQ(elevation_requests, before);
}

TEST(ProgressWindow, CloseDetachesProgressAndEndsTheLoopButKeepsTheWindow) {
    ProgressWindow<Quolta> progress;
    ShowWindow(progress.app.window, SW_SHOW);
    WindowProgress to_window(progress.app.window);
    package_extractor.SetProgressTarget(&to_window, MSG_PROGRESS);

    SendMessageA(progress.app.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(package_extractor.progress_window, nullptr);
    // The cancel command that the default close handling posts is ignored.
    PumpMessages();
    EXPECT_TRUE(TakeQuitRequest());
    EXPECT_TRUE(IsWindow(progress.app.window));
    EXPECT_TRUE(IsWindowVisible(progress.app.window));
}

TEST(ProgressWindow, CommandsChangeNothing) {
    ProgressWindow<Quolta> progress;
    for (WPARAM id : {WPARAM{IDOK}, WPARAM{IDCANCEL}, WPARAM{IDC_PROGRESS_BAR}}) {
        EXPECT_EQ(progress.app.WindowProc(WM_COMMAND, id, 0), 0);
    }
    EXPECT_TRUE(IsWindow(progress.app.window));
    EXPECT_FALSE(TakeQuitRequest());
}

}  // namespace
