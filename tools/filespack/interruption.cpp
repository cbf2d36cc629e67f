#include "tools/filespack/interruption.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t pending = 0;

#ifndef _WIN32
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[3];

void OnSignal(int signal) {
    if (pending != 0) _exit(128 + signal);
    pending = signal;
}
#endif

}  // namespace

// On Windows the engine reports to a window on another thread than the one that writes, so there
// is no point between chunks to stop at: Ctrl+C still ends the process at once there.
InterruptionGuard::InterruptionGuard() {
    pending = 0;
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved[i]);
#endif
}

InterruptionGuard::~InterruptionGuard() {
#ifndef _WIN32
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
