// The worker thread: extracts the package resource, runs Setup.exe in install mode and cleans
// up after it or after a failed extraction.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "package/integrity_record.h"
#include "package/window_progress.h"
#include "runner/extracted_tree.h"
#include "runner/path_text.h"
#include "runner/unpack_app.h"
#include "ui/window_messages.h"

namespace {

constexpr char PACKAGE_RESOURCE_TYPE[] = "FILESPACK";
constexpr char SETUP_PROGRAM[] = "Setup.exe";

void Send(HWND window, UINT message) {
    if (window != nullptr) {
        SendMessageA(window, message, 0, 0);
    }
}

// The package bytes and their real length: a package whose header claims more than the
// resource holds must fail instead of reading past it.
const uint8_t* FindPackage(const char* name, size_t* size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, name, PACKAGE_RESOURCE_TYPE);
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
// could not be started.
bool RunSetup(UnpackApp* app, const char* folder) {
    char program[PATH_BUFFER_SIZE];
    char quoted[PATH_BUFFER_SIZE + 2];
    if (!JoinPath(program, sizeof program, folder, SETUP_PROGRAM) ||
        !QuotePath(quoted, sizeof quoted, program)) {
        app->log.Write("Setup.exe: the path is too long: %s", folder);
        return false;
    }
    std::string command = quoted;
    if (!app->options.setup_arguments.empty()) {
        command += ' ';
        command += app->options.setup_arguments;
    }
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    app->log.Write("Setup.exe: %s", command.c_str());
    // The program by its full path and a quoted command line: without them a folder with
    // blanks would have the system try "C:\Program" and the like first.
    if (CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process) == 0) {
        app->log.Write("Setup.exe: could not be started (error %lu)",
                       static_cast<unsigned long>(GetLastError()));
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

// The folder was empty before the extraction: what it holds now is what was written.
void LogFiles(RunLog& log, const char* folder) {
    char pattern[PATH_BUFFER_SIZE];
    if (!log.IsOn() || !JoinPath(pattern, sizeof pattern, folder, "*.*")) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!IsDotEntry(found.cFileName)) {
            const uint64_t size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
            log.Write("file: %s\\%s (%llu bytes)", folder, found.cFileName,
                      static_cast<unsigned long long>(size));
        }
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
}

// Deletes the top-level files and then the folder; subfolders (and so the folder) stay.
void CleanUp(RunLog& log, const char* folder) {
    char pattern[PATH_BUFFER_SIZE];
    if (JoinPath(pattern, sizeof pattern, folder, "*.*")) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (found.cFileName[0] == '\0' || IsDotEntry(found.cFileName) ||
                    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    continue;
                }
                char path[PATH_BUFFER_SIZE];
                if (!JoinPath(path, sizeof path, folder, found.cFileName)) {
                    continue;
                }
                // Packages may carry read-only files, which DeleteFileA refuses.
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
                    SetFileAttributesA(path,
                                       found.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
                }
                DeleteFileA(path);
            } while (FindNextFileA(search, &found) != 0);
            FindClose(search);
        }
    }
    if (RemoveDirectoryA(folder) != 0) {
        log.Write("clean-up: removed %s", folder);
    } else {
        log.Write("clean-up: kept %s (not empty)", folder);
    }
}

}  // namespace

DWORD WINAPI UnpackApp::WorkerMain(LPVOID parameter) {
    auto* app = static_cast<UnpackApp*>(parameter);
    HWND window = app->window;

    app->worker_lock = CreateMutexA(nullptr, FALSE, nullptr);
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
            RemoveDirectoryA(app->destination);
            app->log.Write("clean-up: removed %s", app->destination);
        } else {
            // The window stays, and so does the empty folder, until the user closes it.
            Send(window, MSG_FAILED);
        }
    } else {
        found = 1;
        char folder[PATH_BUFFER_SIZE];
        std::memcpy(folder, app->destination, sizeof folder);
        folder[PATH_BUFFER_SIZE - 1] = '\0';

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
                PostMessageA(window, MSG_PROGRESS, length, static_cast<LPARAM>(length));
            }
            // The listener and the record live in this frame only.
            package_extractor.SetProgressTarget(nullptr, 0);
            package_extractor.SetCreationRecord(nullptr);
            LogFiles(app->log, folder);
            if (extracted == 0) {
                app->log.Write("extraction failed: %s", result.message);
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
            made.TakeBack(app->log, folder);
            CleanUp(app->log, folder);
        }
        if (window != nullptr) {
            PostMessageA(window, WM_CLOSE, 0, 0);
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
