// The run sequence: progress window, preparation, worker, message loop, wait, relaunch.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>
#include <string>

#include "resources/resource_ids.h"
#include "runner/path_text.h"
#include "runner/system_folders.h"
#include "runner/system_library.h"
#include "runner/unpack_app.h"
#include "runner/usage.h"
#include "win/wide_text.h"

namespace {

using InitCommonControlsFunction = void(WINAPI*)();
using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);

// The keyboard and mouse message ranges as the program has always taken them: WM_KEYFIRST to
// 0x108 (the older SDKs' WM_KEYLAST, before WM_UNICHAR) and WM_MOUSEFIRST to 0x209 (their
// WM_MOUSELAST, before the horizontal wheel).
constexpr UINT KEYBOARD_FIRST = WM_KEYFIRST;
constexpr UINT KEYBOARD_LAST = 0x108;
constexpr UINT MOUSE_FIRST = WM_MOUSEFIRST;
constexpr UINT MOUSE_LAST = 0x209;

bool IsKeyboardOrMouse(UINT message) {
    return (message >= KEYBOARD_FIRST && message <= KEYBOARD_LAST) ||
           (message >= MOUSE_FIRST && message <= MOUSE_LAST);
}

// Keyboard and mouse input goes to the nearest dialog among the target's ancestors, so that
// navigation inside the progress window works; the target itself is never offered.
bool OfferToAncestors(MSG* msg) {
    for (HWND ancestor = GetParent(msg->hwnd); ancestor != nullptr;
         ancestor = GetParent(ancestor)) {
        if (IsDialogMessageW(ancestor, msg) != 0) {
            return true;
        }
    }
    return false;
}

void PumpUntilQuit() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsKeyboardOrMouse(msg.message) && OfferToAncestors(&msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
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
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Paths in the switches are taken from the folder the run started in; an elevated copy starts
// in another one.
void MakeAbsolute(std::string& path) {
    if (path.empty()) {
        return;
    }
    std::wstring wide;
    std::wstring full;
    if (!Utf8ToWide(path, wide) || !FullPath(wide, full)) {
        return;
    }
    path = WideToUtf8(full);
    // "D:\dest\" names the folder "D:\dest"; a drive's root keeps its separator.
    while (path.size() > 3 && EndsWithSeparator(path.c_str())) {
        path.pop_back();
    }
}

const char* Meaning(int exit_code) {
    switch (exit_code) {
        case RUN_COMPLETED:
            return "completed";
        case RUN_CANCELLED:
            return "cancelled";
        case RUN_NO_DESTINATION:
            return "no destination folder";
        case RUN_EXTRACTION_FAILED:
            return "the package is missing, damaged or could not be extracted";
        case RUN_SETUP_FAILED:
            return "Setup.exe could not be started";
        case RUN_BAD_COMMAND_LINE:
            return "a switch without its value";
        default:
            return "";
    }
}

}  // namespace

int UnpackApp::Run(const char* command_tail) {
    options = ParseCommandLine(command_tail);
    // Unpacking beside the program or logging nowhere is not what an empty value asked for; the
    // run stops before it touches anything. Under /S nobody would read the box.
    if (options.empty_value) {
        if (!options.unattended) {
            ShowUsage(*this);
        }
        return RUN_BAD_COMMAND_LINE;
    }
    if (options.show_usage && !options.unattended) {
        ShowUsage(*this);
        return RUN_COMPLETED;
    }
    MakeAbsolute(options.unpack_folder);
    MakeAbsolute(options.log_file);
    log.Open(options.log_file);
    if (log.IsOn()) {
        std::string own_path;
        OwnProgramPath(own_path);
        log.Write("start: %s %s, %s", Utf8FromShiftJis(Name()).c_str(),
                  Utf8FromShiftJis(Version()).c_str(), own_path.c_str());
        log.Write("command line: %s", command_tail != nullptr ? command_tail : "");
    }

    const auto init_common_controls =
        SystemFunction<InitCommonControlsFunction>("comctl32.dll", "InitCommonControls");
    if (init_common_controls != nullptr) {
        init_common_controls();
    }

    // An unattended run has no window at all, so none can ever show.
    if (!options.unattended) {
        CreateModeless(nullptr, IDD_PROGRESS);
    }
    is_relaunch = options.relaunch ? 1 : 0;
    if (options.unpack_only) {
        install_mode = 0;
    }
    const bool confirm = is_relaunch == 0 && !options.unpack_only && !options.unattended;

    if (Prepare(confirm ? 1 : 0) == 0) {
        Destroy();
        return Finish(cancelled != 0 ? RUN_CANCELLED : RUN_NO_DESTINATION);
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
    // Without a window the worker's failure report is taken here, once the worker is done.
    if (window == nullptr && worker_failed != 0) {
        OnFailed();
    }
    return Finish(RunExitCode());
}

int UnpackApp::RunExitCode() const {
    if (worker_failed != 0) {
        return RUN_EXTRACTION_FAILED;
    }
    if (setup_failed != 0) {
        return RUN_SETUP_FAILED;
    }
    if (worker_succeeded == 0) {
        return RUN_EXTRACTION_FAILED;
    }
    // A deployment tool reads the installer's own verdict, 3010 "restart required" included.
    if (options.unattended && setup_ran != 0) {
        return static_cast<int>(setup_exit_code);
    }
    return RUN_COMPLETED;
}

int UnpackApp::Finish(int exit_code) {
    if (is_relaunch == 0 && elevation_requests > 0) {
        return Relaunch(exit_code);
    }
    if (options.unattended && setup_ran != 0 && worker_failed == 0) {
        log.Write("exit code %d: Setup.exe's own", exit_code);
    } else {
        log.Write("exit code %d: %s", exit_code, Meaning(exit_code));
    }
    return exit_code;
}

// Starts this program again elevated. An unattended run waits for the copy and returns its exit
// code; otherwise, and when the copy does not start (elevation declined), `exit_code` stands.
int UnpackApp::Relaunch(int exit_code) {
    std::string path;
    const auto shell_execute_ex =
        SystemFunction<ShellExecuteExFunction>("shell32.dll", "ShellExecuteExW");
    if (!OwnProgramPath(path) || shell_execute_ex == nullptr) {
        log.Write("exit code %d: %s; no elevated copy could be started", exit_code,
                  Meaning(exit_code));
        return exit_code;
    }
    const std::string parameters = RelaunchTail(options);
    const std::wstring wide_path = WideFromUtf8(path);
    const std::wstring wide_parameters = WideFromUtf8(parameters);

    SHELLEXECUTEINFOW shell;
    std::memset(&shell, 0, sizeof shell);
    shell.cbSize = sizeof shell;
    shell.fMask = options.unattended ? SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI : 0;
    shell.lpVerb = L"runas";
    shell.lpFile = wide_path.c_str();
    shell.lpParameters = wide_parameters.c_str();
    shell.nShow = SW_SHOW;
    log.Write("relaunch: starting an elevated copy: %s", parameters.c_str());
    if (shell_execute_ex(&shell) == 0) {
        log.Write("relaunch: no elevated copy started (error %lu)",
                  static_cast<unsigned long>(GetLastError()));
        log.Write("exit code %d: %s", exit_code, Meaning(exit_code));
        return exit_code;
    }
    if (shell.hProcess == nullptr) {
        log.Write("exit code %d: %s; the elevated copy goes on by itself", exit_code,
                  Meaning(exit_code));
        return exit_code;
    }
    WaitForSingleObject(shell.hProcess, INFINITE);
    DWORD copy_code = 0;
    const BOOL known = GetExitCodeProcess(shell.hProcess, &copy_code);
    CloseHandle(shell.hProcess);
    if (known == 0) {
        log.Write("exit code %d: %s; the elevated copy's is unknown", exit_code,
                  Meaning(exit_code));
        return exit_code;
    }
    log.Write("exit code %lu: the elevated copy's", static_cast<unsigned long>(copy_code));
    return static_cast<int>(copy_code);
}
