// The run sequence: progress window, preparation, worker, message loop, wait, relaunch.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "resources/resource_ids.h"
#include "runner/path_text.h"
#include "runner/system_library.h"
#include "runner/unpack_app.h"

namespace {

using InitCommonControlsFunction = void(WINAPI*)();
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

bool IsKeyboardOrMouse(UINT message) {
    return (message >= 0x100 && message <= 0x108) || (message >= 0x200 && message <= 0x209);
}

// Keyboard and mouse input goes to the nearest dialog among the target's ancestors, so that
// navigation inside the progress window works; the target itself is never offered.
bool OfferToAncestors(MSG* msg) {
    for (HWND ancestor = GetParent(msg->hwnd); ancestor != nullptr;
         ancestor = GetParent(ancestor)) {
        if (IsDialogMessageA(ancestor, msg) != 0) {
            return true;
        }
    }
    return false;
}

void PumpUntilQuit() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsKeyboardOrMouse(msg.message) && OfferToAncestors(&msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The worker talks to the progress window with sent messages; the loop has ended by now, so
// keep serving those while waiting, or a worker reporting a failure would wait forever.
void WaitServingSentMessages(HANDLE thread) {
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void Relaunch() {
    char path[PATH_BUFFER_SIZE];
    const DWORD len = GetModuleFileNameA(nullptr, path, PATH_BUFFER_SIZE - 1);
    if (len == 0 || len >= PATH_BUFFER_SIZE - 1) {
        return;
    }
    path[len] = '\0';
    const auto shell_execute = SystemFunction<ShellExecuteFunction>("shell32.dll", "ShellExecuteA");
    if (shell_execute != nullptr) {
        shell_execute(nullptr, "runas", path, "/RUNAS", nullptr, SW_SHOW);
    }
}

}  // namespace

int UnpackApp::Run(const char* command_tail) {
    const auto init_common_controls =
        SystemFunction<InitCommonControlsFunction>("comctl32.dll", "InitCommonControls");
    if (init_common_controls != nullptr) {
        init_common_controls();
    }

    CreateModeless(nullptr, IDD_PROGRESS);
    is_relaunch = HasRelaunchArgument(command_tail) ? 1 : 0;

    if (Prepare(is_relaunch == 0 ? 1 : 0) == 0) {
        Destroy();
        if (is_relaunch == 0 && elevation_requests > 0) {
            Relaunch();
        }
        return cancelled != 0 ? EXIT_CANCELLED : EXIT_PREPARATION_FAILED;
    }

    HANDLE worker = CreateThread(nullptr, 0, &UnpackApp::WorkerMain, this, 0, nullptr);
    if (worker == nullptr) {
        // Without a thread the work still gets done, only without a live window meanwhile.
        WorkerMain(this);
    }
    if (window != nullptr) {
        PumpUntilQuit();
    }
    // The thread handle, unlike the worker's own lock, exists from the start: the wait cannot
    // miss a worker that had not yet taken its lock when the loop ended.
    if (worker != nullptr) {
        WaitServingSentMessages(worker);
        CloseHandle(worker);
    }

    if (is_relaunch == 0 && elevation_requests > 0) {
        Relaunch();
    }
    if (worker_failed != 0) {
        return EXIT_EXTRACTION_FAILED;
    }
    if (setup_failed != 0) {
        return EXIT_SETUP_FAILED;
    }
    return worker_succeeded != 0 ? EXIT_OK : EXIT_EXTRACTION_FAILED;
}
