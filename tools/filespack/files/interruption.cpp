#include "tools/filespack/files/interruption.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Set from a signal handler (POSIX) or from the system's handler thread (Windows).
std::atomic<int> pending{0};
// Guards nest (exe runs test's check inside its own) and runs may share a process on several
// threads: the outermost guard holds the handlers, counted under a lock.
std::mutex depth_lock;
int depth = 0;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may store it");

#ifdef _WIN32
// Runs on a thread of its own. Ctrl+C and Ctrl+Break are held back until the run reaches a
// chunk; closing the console window or logging off gives a handler no time to wait, so those
// keep Windows' own handling.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (pending.exchange(SIGINT) != 0) ExitProcess(128 + SIGINT);
    return TRUE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[3];

void OnSignal(int signal) {
    if (pending.exchange(signal) != 0) _exit(128 + signal);
}
#endif

}  // namespace

InterruptionGuard::InterruptionGuard() {
    const std::lock_guard<std::mutex> lock(depth_lock);
    if (depth++ > 0) return;
    pending = 0;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved[i]);
#endif
}

InterruptionGuard::~InterruptionGuard() {
    const std::lock_guard<std::mutex> lock(depth_lock);
    if (--depth > 0) return;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControl, FALSE);
#else
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved[i], nullptr);
#endif
}

int InterruptionGuard::Pending() {
    return pending;
}

void ExitInterrupted(int signal) {
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef _WIN32
    std::_Exit(128 + signal);
#else
    _exit(128 + signal);
#endif
}
