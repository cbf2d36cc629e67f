// The progress listener of a Windows window: every report becomes one PostMessage of the
// report's message to the window, with the bytes done and the total as its parameters, so the
// window's thread draws while the engine goes on. Windows only; it names the window by the
// handle's own type without pulling in the system's headers.
#pragma once

#include "package/progress_listener.h"

struct HWND__;

class WindowProgress final : public ProgressListener {
  public:
    explicit WindowProgress(HWND__* window) : window_(window) {}
    void OnProgress(uint32_t message, int64_t done, int64_t total) override;

  private:
    HWND__* window_;
};
