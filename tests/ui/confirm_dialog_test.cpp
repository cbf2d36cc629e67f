#include "ui/confirm_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/ui/sample_product_app.h"
#include "tests/ui/window_driver.h"

namespace {

using Quolta = SampleProduct<ProductInfo>;

class DefaultIdentity final : public ProductInfo {};

bool IsConfirmation(HWND dialog) {
    return GetDlgItem(dialog, IDC_UNPACK_ONLY) != nullptr;
}

struct Outcome {
    INT_PTR result = -100;
    int32_t unpack_only = -100;
    bool found = false;
    bool quit_pending = false;
};

// Runs the dialog modally, as preparation does, while `act` works it from a helper thread.
Outcome RunConfirmation(const ProductInfo& identity, const std::function<void(HWND)>& act) {
    ConfirmDialog dialog;
    dialog.product_info = &identity;
    Outcome outcome;
    {
        DialogDriver driver(IsConfirmation, act);
        outcome.result = dialog.RunModal(nullptr, IDD_CONFIRM);
        outcome.found = driver.Found();
    }
    outcome.unpack_only = dialog.unpack_only;
    outcome.quit_pending = TakeQuitRequest();
    return outcome;
}

const Quolta quolta;

TEST(ConfirmDialog, StartReadsTheCheckBox) {
    const Outcome clear = RunConfirmation(quolta, [](HWND d) { Click(d, IDOK); });
    EXPECT_TRUE(clear.found);
    EXPECT_EQ(clear.result, 1);
    EXPECT_EQ(clear.unpack_only, 0);
    EXPECT_FALSE(clear.quit_pending);

    const Outcome ticked = RunConfirmation(quolta, [](HWND d) {
        Click(d, IDC_UNPACK_ONLY);
        Click(d, IDOK);
    });
    EXPECT_EQ(ticked.result, 1);
    EXPECT_EQ(ticked.unpack_only, 1);
}

TEST(ConfirmDialog, CancelIgnoresTheCheckBox) {
    const Outcome outcome = RunConfirmation(quolta, [](HWND d) {
        Click(d, IDC_UNPACK_ONLY);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(outcome.unpack_only, 0);
    EXPECT_FALSE(outcome.quit_pending);
}

TEST(ConfirmDialog, CloseBoxCancelsAndLeavesAQuitRequest) {
    const Outcome outcome =
        RunConfirmation(quolta, [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(outcome.unpack_only, 0);
    EXPECT_TRUE(outcome.quit_pending);
}

TEST(ConfirmDialog, EscapeCancelsWithoutAQuitRequest) {
    const Outcome outcome = RunConfirmation(
        quolta, [](HWND d) { PostMessageA(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); });
    EXPECT_EQ(outcome.result, 2);
    EXPECT_FALSE(outcome.quit_pending);
}

struct Shown {
    std::string title;
    std::string text;
    RECT rect{};
};

Shown ReadShownDialog(const ProductInfo& identity) {
    Shown shown;
    RunConfirmation(identity, [&](HWND d) {
        shown.title = WindowText(d);
        shown.text = WindowText(GetDlgItem(d, IDC_EXPLANATION));
        GetWindowRect(d, &shown.rect);
        Click(d, IDCANCEL);
    });
    return shown;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find("\r\n"));
}

TEST(ConfirmDialog, ShowsTitleAndExplanationOfTheProduct) {
    const Shown shown = ReadShownDialog(quolta);
    EXPECT_EQ(shown.title, "SelfUnpack - Quolta Ver 1.71");
    EXPECT_EQ(FirstLine(shown.text), "インターネット電話 Quolta をインストールします。");
    // Lines break with CR LF, as a multi-line edit control needs.
    EXPECT_NE(shown.text.find("\r\n\r\nパッケージの解凍のみを行う場合は、"), std::string::npos);
    EXPECT_NE(shown.text.find("[Setup.exe]"), std::string::npos);
    EXPECT_EQ(shown.text.substr(shown.text.size() - 2), "\r\n");
}

TEST(ConfirmDialog, DefaultIdentityGivesABlankAfterTheCaptionAndBeforeTheText) {
    const Shown shown = ReadShownDialog(DefaultIdentity{});
    EXPECT_EQ(shown.title, "Self Unpack ");
    EXPECT_EQ(FirstLine(shown.text), " をインストールします。");
}

TEST(ConfirmDialog, CentresOnTheWholeScreen) {
    const Shown shown = ReadShownDialog(quolta);
    const int width = shown.rect.right - shown.rect.left;
    const int height = shown.rect.bottom - shown.rect.top;
    EXPECT_GT(width, 0);
    EXPECT_EQ(shown.rect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(shown.rect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
}

TEST(ConfirmDialog, RunsOverTheHiddenProgressWindowAsPreparationDoes) {
    class Owner final : public DialogWindow {
      public:
        INT_PTR WindowProc(UINT, WPARAM, LPARAM) override { return 0; }
    } owner;
    ASSERT_NE(owner.CreateModeless(nullptr, IDD_PROGRESS), nullptr);
    ConfirmDialog dialog;
    dialog.product_info = &quolta;
    HWND seen_owner = nullptr;
    BOOL owner_enabled = TRUE;
    {
        DialogDriver driver(IsConfirmation, [&](HWND d) {
            seen_owner = GetWindow(d, GW_OWNER);
            owner_enabled = IsWindowEnabled(owner.window);
            Click(d, IDOK);
        });
        EXPECT_EQ(dialog.RunModal(owner.window, IDD_CONFIRM), 1);
    }
    EXPECT_EQ(seen_owner, owner.window);
    EXPECT_FALSE(owner_enabled);
    EXPECT_TRUE(IsWindowEnabled(owner.window));
    owner.Destroy();
}

}  // namespace
