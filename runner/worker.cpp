// The worker thread: extracts the package resource, runs Setup.exe in install mode and cleans
// up after it or after a failed extraction.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "package/integrity_record.h"
#include "package/window_progress.h"
#include "runner/extracted_tree.h"
#include "runner/file_retry.h"
#include "runner/unpack_app.h"
#include "runner/work_folder_cleanup.h"
#include "ui/window_messages.h"
#include "win/wide_text.h"

namespace {

constexpr wchar_t PACKAGE_RESOURCE_TYPE[] = L"FILESPACK";
constexpr char SETUP_PROGRAM[] = "Setup.exe";

void Send(HWND window, UINT message) {
    if (window != nullptr) {
        SendMessageW(window, message, 0, 0);
    }
}

// The package bytes and their real length: a package whose header claims more than the
// resource holds must fail instead of reading past it.
const uint8_t* FindPackage(const char* name, size_t* size) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, WideFromShiftJis(name).c_str(), PACKAGE_RESOURCE_TYPE);
    if (resource == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        return nullptr;
    }
    *size = SizeofResource(module, resource);
    return static_cast<const uint8_t*>(LockResource(loaded));
}

// Runs Setup.exe with the arguments passed after "--" and waits for it. Returns false when it
// could not be started. Its path stays within MAX_PATH: a program started from a longer path
// cannot rely on its own folder working, so it is not started at all.
bool RunSetup(UnpackApp* app, const char* folder) {
    std::string program = folder;
    program += '\\';
    program += SETUP_PROGRAM;
    std::wstring wide_program;
    if (!Utf8ToWide(program, wide_program) || wide_program.size() >= MAX_PATH) {
        app->log.Write("Setup.exe: the path is too long: %s", folder);
        return false;
    }
    std::string command = '"' + program + '"';
    if (!app->options.setup_arguments.empty()) {
        command += ' ';
        command += app->options.setup_arguments;
    }
    std::wstring wide_command = WideFromUtf8(command);
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    app->log.Write("Setup.exe: %s", command.c_str());
    // The program by its full path and a quoted command line: without them a folder with
    // blanks would have the system try "C:\Program" and the like first.
    SystemRetryClock clock;
    RetryDeadline deadline(clock);
    DWORD error = 0;
    const bool started = RetryWhileHeld(
        deadline, error,
        [&](DWORD& failure) {
            if (CreateProcessW(wide_program.c_str(), wide_command.data(), nullptr, nullptr, FALSE,
                               0, nullptr, nullptr, &startup, &process) != 0) {
                return true;
            }
            failure = GetLastError();
            return false;
        },
        [&](DWORD failure) {
            app->log.Write("Setup.exe: not startable yet (error %lu), trying again",
                           static_cast<unsigned long>(failure));
        });
    if (!started) {
        app->log.Write("Setup.exe: could not be started (error %lu)",
                       static_cast<unsigned long>(error));
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    if (GetExitCodeProcess(process.hProcess, &exit_code) != 0) {
        app->setup_exit_code = exit_code;
    }
    app->setup_ran = 1;
    app->log.Write("Setup.exe: exit code %lu", static_cast<unsigned long>(exit_code));
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

}  // namespace

DWORD WINAPI UnpackApp::WorkerMain(LPVOID parameter) {
    auto* app = static_cast<UnpackApp*>(parameter);
    HWND window = app->window;

    app->worker_lock = CreateMutexW(nullptr, FALSE, nullptr);
    if (app->worker_lock != nullptr) {
        WaitForSingleObject(app->worker_lock, INFINITE);
    }

    DWORD found = 0;
    size_t size = 0;
    const uint8_t* package = FindPackage(app->PackageResourceName(), &size);
    if (package == nullptr) {
        app->worker_failed = 1;
        app->package_missing = 1;
        app->log.Write("the program carries no package");
        if (app->options.unattended) {
            // Nobody would close a window: the run ends now, and leaves no empty folder.
            SystemRetryClock clock;
            RetryDeadline deadline(clock);
            RemoveWorkFolder(app->log, app->destination, deadline);
        } else {
            // The window stays, and so does the empty folder, until the user closes it.
            Send(window, MSG_FAILED);
        }
    } else {
        found = 1;
        char folder[sizeof app->destination];
        std::memcpy(folder, app->destination, sizeof folder);
        folder[sizeof folder - 1] = '\0';

        // A package that carries an integrity record must match it before any file exists;
        // a damaged one then fails as a failed extraction does, with nothing written.
        int extracted = 0;
        ExtractedTree made;
        const IntegrityVerdict integrity = CheckIntegrity(package, size).verdict;
        if (integrity == IntegrityVerdict::MISMATCH) {
            app->package_damaged = 1;
            app->log.Write("the package is damaged: its integrity record does not match");
        } else {
            package_extractor.SetCreationRecord(&made);
            WindowProgress to_window(window);
            package_extractor.SetProgressTarget(&to_window, MSG_PROGRESS);
            ExtractResult result;
            std::memset(&result, 0, sizeof result);
            extracted = package_extractor.Extract(package, size, folder, &result);
            // The engine's last post stops at the end byte; the record after it was read by
            // the check, so the bar ends full, as it does for a package without one. A closed
            // window has detached the engine (from the main thread): then there is no post.
            ProgressListener* const target = std::atomic_ref<ProgressListener*>(
                package_extractor.progress_window).load(std::memory_order_acquire);
            if (extracted != 0 && integrity == IntegrityVerdict::VERIFIED && target != nullptr) {
                const auto length = static_cast<WPARAM>(package_extractor.total_length);
                PostMessageW(window, MSG_PROGRESS, length, static_cast<LPARAM>(length));
            }
            // The listener and the record live in this frame only.
            package_extractor.SetProgressTarget(nullptr, 0);
            package_extractor.SetCreationRecord(nullptr);
            LogFolderFiles(app->log, folder);
            if (extracted == 0) {
                app->log.Write("extraction failed: %s", Utf8FromShiftJis(result.message).c_str());
            }
        }

        if (extracted != 0 && app->install_mode == 0) {
            app->worker_succeeded = 1;
        } else {
            if (extracted != 0) {
                Send(window, MSG_PLEASE_WAIT);
                if (RunSetup(app, folder)) {
                    app->worker_succeeded = 1;
                } else {
                    app->setup_failed = 1;
                }
            } else {
                app->worker_failed = 1;
                Send(window, MSG_FAILED);
            }
            Send(window, MSG_PLEASE_WAIT);
            SystemRetryClock clock;
            RetryDeadline deadline(clock);
            made.TakeBack(app->log, folder, deadline);
            CleanUpWorkFolder(app->log, folder, deadline);
        }
        if (window != nullptr) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
    }

    if (app->worker_lock != nullptr) {
        HANDLE lock = app->worker_lock;
        app->worker_lock = nullptr;
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
    return found;
}
