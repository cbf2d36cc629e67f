// Drives the dialogs of the test's own main thread from a helper thread: the main thread sits
// in a modal loop (a dialog or a message box) while the helper finds the window and acts on it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

// Text of any window, through WM_GETTEXT (works across threads and for edit controls).
inline std::string WindowText(HWND window) {
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A message box is a dialog too; its text is the static control 0xFFFF.
inline bool IsMessageBox(HWND dialog) {
    return GetDlgItem(dialog, 0xFFFF) != nullptr;
}

struct DialogSearch {
    const std::function<bool(HWND)>* accept;
    HWND found;
};

// A window procedure of the 32-bit API is stdcall, which a lambda does not convert to.
inline BOOL CALLBACK TakeDialog(HWND window, LPARAM state) {
    auto* search = reinterpret_cast<DialogSearch*>(state);
    if (ClassName(window) != "#32770" || !IsWindowVisible(window)) return TRUE;
    if (!(*search->accept)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// The first visible dialog of `thread` that `accept` takes, waiting up to five seconds.
inline HWND WaitForDialog(DWORD thread, const std::function<bool(HWND)>& accept) {
    for (int round = 0; round < 500; ++round) {
        DialogSearch search{&accept, nullptr};
        EnumThreadWindows(thread, &TakeDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(10);
    }
    return nullptr;
}

// Runs `act` on a helper thread once a dialog of the calling thread that `accept` takes is on
// screen. Construct it before entering the modal loop; it joins when it goes out of scope.
class DialogDriver {
  public:
    DialogDriver(std::function<bool(HWND)> accept, std::function<void(HWND)> act)
        : thread_(GetCurrentThreadId()),
          helper_([this, accept = std::move(accept), act = std::move(act)] {
              HWND dialog = WaitForDialog(thread_, accept);
              found_ = dialog != nullptr;
              if (found_) act(dialog);
          }) {}
    ~DialogDriver() {
        if (helper_.joinable()) helper_.join();
    }

    // Valid once the modal loop has returned (the helper has acted by then).
    bool Found() {
        if (helper_.joinable()) helper_.join();
        return found_;
    }

  private:
    DWORD thread_;
    bool found_ = false;
    std::thread helper_;
};

inline void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Removes a pending quit request of the calling thread; true when there was one.
inline bool TakeQuitRequest() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// Serves whatever is queued for the calling thread, without waiting; a quit request stays.
inline void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
