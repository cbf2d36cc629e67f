#include "runner/retry_policy.h"

#include <algorithm>

RetryDeadline::RetryDeadline(RetryClock& clock, const RetryLimits& limits)
    : clock_(clock), limits_(limits), start_ms_(clock.NowMs()), pause_ms_(limits.first_pause_ms) {}

bool RetryDeadline::Retry(FileFault fault) {
    if (fault == FileFault::other) {
        return false;
    }
    const uint64_t limit = fault == FileFault::held ? limits_.held_ms : limits_.denied_ms;
    const uint64_t elapsed = clock_.NowMs() - start_ms_;
    if (elapsed >= limit) {
        return false;
    }
    // The last pause ends at the deadline, so the last attempt comes right at it.
    clock_.Sleep(static_cast<uint32_t>(std::min<uint64_t>(pause_ms_, limit - elapsed)));
    pause_ms_ = std::min(pause_ms_ * 2, limits_.longest_pause_ms);
    return true;
}
