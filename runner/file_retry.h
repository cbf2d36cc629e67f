// The retry policy on Windows: the system's clock, and the errors that are worth a retry.
#pragma once

#include <windows.h>

#include "runner/retry_policy.h"

class SystemRetryClock final : public RetryClock {
  public:
    uint64_t NowMs() override { return GetTickCount64(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

inline FileFault FaultOf(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return FileFault::held;
    }
    return error == ERROR_ACCESS_DENIED ? FileFault::denied : FileFault::other;
}
