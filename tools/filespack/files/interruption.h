// Ctrl+C and termination while test or extract runs: instead of dying with a half-written file
// (extract) or gigabytes of scratch data (test) left behind, the run notices at its next chunk,
// takes away what it was writing and ends with 128 + the signal's number (130, 143), as shells
// expect. A second signal ends the run at once. On Windows, Ctrl+C and Ctrl+Break count as
// SIGINT.
#pragma once

class InterruptionGuard {
  public:
    InterruptionGuard();  // catches SIGINT, SIGTERM and SIGHUP (Ctrl+C) until destroyed
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;

    // The signal that arrived, or 0.
    static int Pending();
};

// Ends the process with the exit code of `signal` without running destructors: the caller has
// cleaned up what matters, and the engine may be in the middle of a file.
[[noreturn]] void ExitInterrupted(int signal);
