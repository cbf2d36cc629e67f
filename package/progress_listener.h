// Where the extraction engine reports its progress: one report per chunk written and one at the
// end. The Windows program's listener posts each report to its progress window
// (package/window_progress.h); filespack draws a bar; tests record them.
#pragma once

#include <cstdint>

class ProgressListener {
  public:
    // `done` bytes of the package consumed out of `total`; `message` is the caller's own tag,
    // handed back as it was given (the window message on Windows).
    virtual void OnProgress(uint32_t message, int64_t done, int64_t total) = 0;

  protected:
    ~ProgressListener() = default;
};
