// The two kinds of operating-system handle the portable core carries without knowing them.
#pragma once

#include <cstdint>

// HWND on Windows. Elsewhere a ProgressListener*, which receives what Windows would post.
using WindowHandle = void*;

// HANDLE on Windows (INVALID_HANDLE_VALUE is -1); a file descriptor elsewhere.
using FileHandle = intptr_t;
inline constexpr FileHandle INVALID_FILE = -1;

class ProgressListener {
  public:
    // `done` bytes of the package consumed out of `total`.
    virtual void OnProgress(uint32_t message, int64_t done, int64_t total) = 0;

  protected:
    ~ProgressListener() = default;
};
