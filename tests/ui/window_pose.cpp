// Holds one of the program's windows on screen, as a user sees it, for a screenshot:
//   window_pose confirm   the confirmation dialog of the sample product
//   window_pose progress  the progress window during an extraction, at 45 %
// The window goes after eight seconds.
#include <windows.h>
// commctrl.h needs the types of windows.h before it.
#include <commctrl.h>

#include <cstring>

#include "sample_product_app.h"
#include "resources/resource_ids.h"
#include "ui/confirm_dialog.h"
#include "ui/window_messages.h"

namespace {

// A quit request also ends a modal dialog's loop.
void CALLBACK EndPose(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_tail, int) {
    InitCommonControls();
    SetTimer(nullptr, 0, 8000, &EndPose);
    ProductApp app;
    if (app.CreateModeless(nullptr, IDD_PROGRESS) == nullptr) return 1;

    if (std::strstr(command_tail, "confirm") != nullptr) {
        ConfirmDialog dialog;
        dialog.product_info = &app;
        return static_cast<int>(dialog.RunModal(app.window, IDD_CONFIRM));
    }

    ShowWindow(app.window, SW_SHOW);
    PostMessageA(app.window, MSG_PROGRESS, 45, 100);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(app.window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
