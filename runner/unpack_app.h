// The application object: at once the progress window (dialog 101) and the owner of the run.
#pragma once

#include <windows.h>

#include <cstdint>

#include "package/package_extractor.h"
#include "package/package_format.h"
#include "runner/command_line.h"
#include "resources/product_info.h"
#include "runner/run_log.h"
#include "ui/dialog_window.h"

// Elevated relaunches asked for during this run (preparation and the progress window).
extern int32_t elevation_requests;

// The one extraction engine of the process.
extern PackageExtractor package_extractor;

// Exit codes of the program (documented in docs/running-the-program.md); filespack has its own.
// An unattended run whose Setup.exe ran returns Setup.exe's own code instead.
enum RunExit : int {
    RUN_COMPLETED = 0,          // the run completed
    RUN_CANCELLED = 1,          // the user cancelled the confirmation
    RUN_NO_DESTINATION = 2,     // no destination folder (abandoned, or a relaunch was asked for)
    RUN_EXTRACTION_FAILED = 3,  // the package was missing or could not be extracted
    RUN_SETUP_FAILED = 4,       // install mode: Setup.exe could not be started
};

class UnpackApp : public DialogWindow, public ProductInfo {
public:
    UnpackApp();

    // Run sequence; returns the process exit code.
    int Run(const char* command_tail);
    int RunExitCode() const;
    int Relaunch(int exit_code);
    int Finish(int exit_code);

    // Preparation and destination folder.
    int Prepare(int show_confirmation);
    int ChooseDestination();
    int MakeWorkFolder();

    // Worker thread.
    static DWORD WINAPI WorkerMain(LPVOID app);

    // Progress window.
    INT_PTR WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
    INT_PTR OnInitDialog();
    INT_PTR OnProgress(WPARAM done, LPARAM total);
    INT_PTR OnPleaseWait();
    INT_PTR OnFailed();
    INT_PTR OnCommand(WPARAM wparam, LPARAM lparam);
    INT_PTR OnClose();

    HWND progress_bar;
    // Created, taken and released by the worker alone, so no thread ever waits on it; kept
    // because the run is built that way, harmless as it is.
    HANDLE worker_lock;
    char destination[PATH_BUFFER_SIZE];
    int32_t install_mode;

    // Beyond the classic fields: what the exit code and a relaunched run need.
    int32_t is_relaunch;       // this run was started with "/RUNAS"
    int32_t cancelled;         // the confirmation ended without "start"
    int32_t worker_failed;     // the worker reported MSG_FAILED
    int32_t worker_succeeded;  // the worker extracted everything (and ran Setup.exe)
    int32_t setup_failed = 0;  // install mode: Setup.exe could not be started
    int32_t package_damaged = 0;  // the package failed its integrity check: no relaunch helps
    int32_t package_missing = 0;  // the program carries no package
    int32_t setup_ran = 0;         // install mode: Setup.exe ran and ended,
    uint32_t setup_exit_code = 0;  // with this exit code

    CommandLine options;  // the switches, their paths made absolute
    RunLog log;           // "/LOG=<file>"
};
