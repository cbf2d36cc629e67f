// The retry policy on Windows: the system's clock, and the errors that are worth a retry.
#pragma once

#include <windows.h>

#include "runner/retry_policy.h"

// GetTickCount, which every Windows has, counted on across its wrap after 49.7 days.
class SystemRetryClock final : public RetryClock {
  public:
    uint64_t NowMs() override {
        const DWORD now = GetTickCount();
        elapsed_ += static_cast<DWORD>(now - last_);
        last_ = now;
        return elapsed_;
    }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }

  private:
    DWORD last_ = GetTickCount();
    uint64_t elapsed_ = 0;
};

inline FileFault FaultOf(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return FileFault::held;
    }
    return error == ERROR_ACCESS_DENIED ? FileFault::denied : FileFault::other;
}

// One attempt after another while another program holds the file and `deadline` allows:
// `attempt` returns true on success and sets its Win32 error otherwise; `on_retry` is told the
// error before each new attempt (for the log). Returns whether an attempt succeeded; `error`
// keeps the last failure's code.
template <typename Attempt, typename OnRetry>
bool RetryWhileHeld(RetryDeadline& deadline, DWORD& error, Attempt attempt, OnRetry on_retry) {
    for (;;) {
        if (attempt(error)) return true;
        if (!deadline.Retry(FaultOf(error))) return false;
        on_retry(error);
    }
}
