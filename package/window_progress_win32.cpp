#include <windows.h>

#include "package/window_progress.h"

void WindowProgress::OnProgress(uint32_t message, int64_t done, int64_t total) {
    PostMessageA(window_, message, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
}
