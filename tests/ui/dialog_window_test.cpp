#include "ui/dialog_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/ui/window_driver.h"

namespace {

// Records every message that reaches the object, and can answer some of them.
class Probe final : public DialogWindow {
  public:
    INT_PTR WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override {
        seen.push_back(message);
        if (message == WM_INITDIALOG) {
            window_at_init = window;
            previous_at_init = previous_procedure;
        }
        if (answer) return answer(*this, message, wparam, lparam);
        return 0;
    }

    bool Saw(UINT message) const {
        for (UINT m : seen) {
            if (m == message) return true;
        }
        return false;
    }

    std::vector<UINT> seen;
    HWND window_at_init = nullptr;
    WNDPROC previous_at_init = nullptr;
    std::function<INT_PTR(Probe&, UINT, WPARAM, LPARAM)> answer;
};

LRESULT CALLBACK UnusedProcedure(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

TEST(DialogWindow, ModalRunUsesOnlyTheLow16BitsOfTheIdAndBindsBeforeTheFirstHandler) {
    Probe probe;
    bool confirmation_template = false;
    probe.answer = [&](Probe& self, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message != WM_INITDIALOG) return 0;
        confirmation_template = GetDlgItem(self.window, IDC_UNPACK_ONLY) != nullptr &&
                                GetDlgItem(self.window, IDC_PROGRESS_BAR) == nullptr;
        self.EndModal(7);
        return 0;
    };
    const INT_PTR result = probe.RunModal(nullptr, 0x10000 | IDD_CONFIRM);

    EXPECT_EQ(result, 7);
    EXPECT_TRUE(confirmation_template);
    ASSERT_FALSE(probe.seen.empty());
    // WM_SETFONT comes first from the dialog manager, to a slot that holds no object yet.
    EXPECT_EQ(probe.seen.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_FALSE(probe.Saw(WM_SETFONT));
    EXPECT_NE(probe.window_at_init, nullptr);
    // The modal window is gone, but the handle is not cleared.
    EXPECT_EQ(probe.window, probe.window_at_init);
    EXPECT_FALSE(IsWindow(probe.window));
}

TEST(DialogWindow, CloseAnsweredZeroBecomesTheCancelCommand) {
    Probe probe;
    WPARAM command = 0;
    probe.answer = [&](Probe& self, UINT message, WPARAM wparam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) PostMessageA(self.window, WM_CLOSE, 0, 0);
        if (message == WM_COMMAND) {
            command = wparam;
            self.EndModal(99);
            return 1;
        }
        return 0;
    };
    EXPECT_EQ(probe.RunModal(nullptr, IDD_CONFIRM), 99);
    EXPECT_TRUE(probe.Saw(WM_CLOSE));
    EXPECT_EQ(LOWORD(command), IDCANCEL);
    EXPECT_EQ(HIWORD(command), BN_CLICKED);
}

TEST(DialogWindow, ModelessWindowIsBoundDuringCreationAndDestroyedOnce) {
    Probe probe;
    probe.previous_procedure = &UnusedProcedure;  // every WM_INITDIALOG clears it
    HWND created = probe.CreateModeless(nullptr, IDD_PROGRESS);

    ASSERT_NE(created, nullptr);
    EXPECT_EQ(probe.window_at_init, created);
    EXPECT_EQ(probe.previous_at_init, nullptr);
    EXPECT_EQ(probe.window, created);
    EXPECT_FALSE(IsWindowVisible(created));  // the template has no WS_VISIBLE

    probe.Destroy();
    EXPECT_EQ(probe.window, nullptr);
    EXPECT_FALSE(IsWindow(created));
    // The last messages of the window still reach the object.
    EXPECT_TRUE(probe.Saw(WM_DESTROY));
    EXPECT_TRUE(probe.Saw(WM_NCDESTROY));

    const size_t messages = probe.seen.size();
    probe.Destroy();
    EXPECT_EQ(probe.window, nullptr);
    EXPECT_EQ(probe.seen.size(), messages);
}

TEST(DialogWindow, MissingTemplateLeavesTheObjectUnbound) {
    Probe modal;
    const INT_PTR result = modal.RunModal(nullptr, 999);
    EXPECT_TRUE(result == 0 || result == -1) << result;
    EXPECT_EQ(modal.window, nullptr);
    EXPECT_TRUE(modal.seen.empty());

    Probe modeless;
    EXPECT_EQ(modeless.CreateModeless(nullptr, 999), nullptr);
    EXPECT_EQ(modeless.window, nullptr);
}

LRESULT CALLBACK AnswerFive(HWND, UINT, WPARAM, LPARAM) {
    return 5;
}

TEST(DialogWindow, DefaultProcedurePassesOnlyToARecordedProcedure) {
    class Plain final : public DialogWindow {};
    Plain plain;
    EXPECT_EQ(plain.WindowProc(WM_COMMAND, IDOK, 0), 0);
    plain.previous_procedure = &AnswerFive;
    EXPECT_EQ(plain.WindowProc(WM_COMMAND, IDOK, 0), 5);
}

}  // namespace
