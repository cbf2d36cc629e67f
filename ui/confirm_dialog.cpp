#include "ui/confirm_dialog.h"

#include <cstdio>

#include "resources/identity_rules.h"
#include "resources/resource_ids.h"
#include "ui/window_arithmetic.h"
#include "win/wide_text.h"

namespace {

constexpr char TITLE_FORMAT[] = "%s %s";
constexpr char EXPLANATION_FORMAT[] =
    "%s をインストールします。\r\n\r\n"
    "パッケージの解凍のみを行う場合は、[解凍のみ] をチェック状態にして下さい。\r\n"
    "[解凍のみ] を選択した場合は、解凍フォルダ内の [Setup.exe] "
    "を実行するとイントールできます。\r\n";

static_assert(FitsBuffer(TITLE_FORMAT, 2, kMaxCaptionAndVersion, kTitleBufferSize));
// The explanation's fixed text sets the description's limit.
static_assert(FitsBuffer(EXPLANATION_FORMAT, 1, kMaxDescription, kTextBufferSize) &&
              !FitsBuffer(EXPLANATION_FORMAT, 1, kMaxDescription + 1, kTextBufferSize));

}  // namespace

ConfirmDialog::ConfirmDialog() : product_info(nullptr), unpack_only(0) {}

INT_PTR ConfirmDialog::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            // The default close handling that follows posts IDCANCEL, which ends the dialog.
            PostQuitMessage(0);
            return 0;
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(wparam, lparam);
        default:
            return 0;
    }
}

INT_PTR ConfirmDialog::OnInitDialog() {
    char title[kTitleBufferSize];
    std::snprintf(title, sizeof title, TITLE_FORMAT, product_info->Caption(),
                  product_info->Version());
    SetWindowTextW(window, WideFromShiftJis(title).c_str());

    char text[kTextBufferSize];
    std::snprintf(text, sizeof text, EXPLANATION_FORMAT, product_info->Description());
    SetWindowTextW(GetDlgItem(window, IDC_EXPLANATION), WideFromShiftJis(text).c_str());

    // The whole primary screen, not the work area: the taskbar is not taken into account.
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    MoveWindow(window, CentredOrigin(GetSystemMetrics(SM_CXSCREEN), width),
               CentredOrigin(GetSystemMetrics(SM_CYSCREEN), height), width, height, TRUE);
    return 0;
}

INT_PTR ConfirmDialog::OnCommand(WPARAM wparam, LPARAM) {
    switch (LOWORD(wparam)) {
        case IDOK:
            ReadUnpackOnly();
            return EndModal(IDOK);
        case IDCANCEL:
            return EndModal(IDCANCEL);
        default:
            return 0;
    }
}

void ConfirmDialog::ReadUnpackOnly() {
    HWND box = GetDlgItem(window, IDC_UNPACK_ONLY);
    if (box == nullptr) return;
    unpack_only = static_cast<int32_t>(SendMessageW(box, BM_GETCHECK, 0, 0));
}
