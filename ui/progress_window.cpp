// The progress window is the application object's own dialog (template 101).
#include <windows.h>
// commctrl.h needs the types of windows.h before it.
#include <commctrl.h>

#include <cstdio>

#include "resources/identity_rules.h"
#include "resources/resource_ids.h"
#include "runner/unpack_app.h"
#include "ui/window_arithmetic.h"
#include "ui/window_messages.h"
#include "win/wide_text.h"

INT_PTR UnpackApp::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            return OnClose();
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(wparam, lparam);
        case MSG_PROGRESS:
            return OnProgress(wparam, lparam);
        case MSG_PLEASE_WAIT:
            return OnPleaseWait();
        case MSG_FAILED:
            return OnFailed();
        default:
            return 0;
    }
}

INT_PTR UnpackApp::OnInitDialog() {
    progress_bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    SendMessageW(progress_bar, PBM_SETRANGE32, 0, 100);
    static constexpr char TITLE_FORMAT[] = "SelfUnpack - %s %s";
    static_assert(FitsBuffer(TITLE_FORMAT, 2, kMaxNameAndVersion, kTitleBufferSize));
    char title[kTitleBufferSize];
    std::snprintf(title, sizeof title, TITLE_FORMAT, Name(), Version());
    SetWindowTextW(window, WideFromShiftJis(title).c_str());
    ShowWindow(window, SW_HIDE);
    return 0;
}

INT_PTR UnpackApp::OnProgress(WPARAM done, LPARAM total) {
    if (window == nullptr) return 0;
    // Both values are the engine's signed 32-bit counts.
    const int32_t percent =
        ProgressPercent(static_cast<int32_t>(done), static_cast<int32_t>(total));
    return SendMessageW(progress_bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

INT_PTR UnpackApp::OnPleaseWait() {
    return SetWindowTextW(GetDlgItem(window, IDC_STATUS_TEXT),
                          WideFromShiftJis("しばらくお待ちください。").c_str());
}

INT_PTR UnpackApp::OnFailed() {
    worker_failed = 1;
    // A relaunched run will not relaunch again: counting a request there would end the run in
    // silence, so it tells the user instead. Neither does a damaged package: elevated rights
    // cannot mend it. An unattended run ends at once on a missing package: its copy would find
    // none either.
    const bool hopeless = package_damaged != 0 || (options.unattended && package_missing != 0);
    if (install_mode != 0 && is_relaunch == 0 && !hopeless) {
        ++elevation_requests;
        return 0;
    }
    if (options.unattended) {
        return 0;
    }
    MessageBoxW(window, WideFromShiftJis("解凍できません！").c_str(),
                WideFromShiftJis(Caption()).c_str(), MB_OK);
    return 0;
}

INT_PTR UnpackApp::OnCommand(WPARAM, LPARAM) {
    // Every command, the cancel that follows a close included, is ignored: only WM_CLOSE ends
    // the run.
    return 0;
}

INT_PTR UnpackApp::OnClose() {
    package_extractor.SetProgressTarget(nullptr, 0);
    PostQuitMessage(0);
    return 0;
}
