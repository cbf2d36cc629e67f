// How long a step keeps trying a file that another program holds for a moment. Right after
// extraction a virus scanner often has a new file open: starting Setup.exe or deleting the
// files then fails with a sharing violation that passes within seconds. No Windows needed.
#pragma once

#include <cstdint>

// Why one attempt failed, as far as retrying is concerned.
enum class FileFault {
    held,    // sharing or lock violation: another program has the file open
    denied,  // access denied: a scanner may be holding it, or it may be permanent
    other,   // anything else: trying again will not help
};

struct RetryLimits {
    // Common scanners give up on a file after 45 s: a step waits a little longer than that.
    uint32_t held_ms = 50000;
    // Denied access is most often for good, so it gets a short grace only.
    uint32_t denied_ms = 5000;
    // Pauses double from the first to the longest.
    uint32_t first_pause_ms = 100;
    uint32_t longest_pause_ms = 2000;
};

class RetryClock {
  public:
    virtual uint64_t NowMs() = 0;
    virtual void Sleep(uint32_t ms) = 0;

  protected:
    ~RetryClock() = default;
};

// One deadline for one step (the start of Setup.exe; the whole clean-up), counted from its
// construction, whichever attempt within the step fails.
class RetryDeadline {
  public:
    RetryDeadline(RetryClock& clock, const RetryLimits& limits = RetryLimits());

    // After a failed attempt: pauses and returns true when the step should try again, returns
    // false when it should give up.
    bool Retry(FileFault fault);

  private:
    RetryClock& clock_;
    RetryLimits limits_;
    uint64_t start_ms_;
    uint32_t pause_ms_;
};
