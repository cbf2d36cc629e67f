#include "ui/confirm_dialog.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "ui/window_arithmetic.h"

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
    char title[256];
    std::snprintf(title, sizeof title, "%s %s", product_info->Caption(), product_info->Version());
    SetWindowTextA(window, title);

    char text[512];
    std::snprintf(text, sizeof text,
                  "%s をインストールします。\r\n\r\n"
                  "パッケージの解凍のみを行う場合は、[解凍のみ] をチェック状態にして下さい。\r\n"
                  "[解凍のみ] を選択した場合は、解凍フォルダ内の [Setup.exe] "
                  "を実行するとイントールできます。\r\n",
                  product_info->Description());
    SetWindowTextA(GetDlgItem(window, IDC_EXPLANATION), text);

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
            return EndModal(1);
        case IDCANCEL:
            return EndModal(2);
        default:
            return 0;
    }
}

void ConfirmDialog::ReadUnpackOnly() {
    HWND box = GetDlgItem(window, IDC_UNPACK_ONLY);
    if (box == nullptr) return;
    unpack_only = static_cast<int32_t>(SendMessageA(box, BM_GETCHECK, 0, 0));
}
