// Drives the product program from outside, as a user would: starts it, finds its windows by
// process id, reads their texts and presses their buttons. All text is UTF-8, converted for the
// W functions, so that the driver works on every language setting.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

inline constexpr DWORD kWaitMs = 30000;
inline constexpr int kMessageBoxTextId = 0xFFFF;
inline constexpr int kSaveFileNameBox = 1148;

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// A null value removes the variable.
void SetVariable(const std::string& name, const char* value);
bool CopyTo(const std::string& from, const std::string& to);
bool Remove(const std::string& path);
bool RemoveFolder(const std::string& path);
std::string CurrentFolder();

// Windows paths with backslashes; `path` may use either separator.
std::string WindowsPath(std::string path);
std::string Join(const std::string& folder, const std::string& name);

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
void RemoveTree(const std::string& path);
bool MakeFolder(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Names in a folder, "." and ".." left out.
std::vector<std::string> List(const std::string& folder);

std::string WindowsDirectory();
// The first n for which <windows>\UnpackDir<n> does not exist.
int FirstFreeWorkFolder();
std::string WorkFolder(int n);

class Process {
  public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    // `directory`, when given, is the program's current folder.
    bool Start(const std::string& exe, const std::string& arguments,
               const std::string& directory = "");
    // Adopts a process that someone else started.
    bool Attach(DWORD pid);
    // The exit code, or -1 when the process is still running after `ms`.
    int64_t WaitExit(DWORD ms = kWaitMs);
    bool Running() const;
    void Kill();
    DWORD pid() const { return pid_; }

  private:
    HANDLE handle_ = nullptr;
    DWORD pid_ = 0;
};

// Paths of the modules loaded in the process.
std::vector<std::string> Modules(DWORD pid);

// Processes whose parent is `parent`, other than the Setup.exe a product runs: its copies.
std::vector<DWORD> Children(DWORD parent);
// Waits for a child of `parent` to appear; 0 when none did.
DWORD WaitChild(DWORD parent, DWORD ms = kWaitMs);

std::string ClassName(HWND window);
std::string Text(HWND window);
std::string ControlText(HWND dialog, int id);
bool IsMessageBox(HWND window);
bool HasControl(HWND dialog, int id);

// Visible dialogs (class #32770) of the process that satisfy `match`; null when none turned up
// within `ms`.
HWND WaitDialog(DWORD pid, const std::function<bool(HWND)>& match, DWORD ms = kWaitMs);
HWND WaitMessageBox(DWORD pid, DWORD ms = kWaitMs);
// Any visible dialog of the process right now.
HWND AnyDialog(DWORD pid);
// Any visible top-level window of the process right now, of whatever class.
HWND AnyVisibleWindow(DWORD pid);

bool Click(HWND dialog, int id);
// Waits until the window is destroyed or hidden; false when it is still there after `ms`.
bool WaitGone(HWND window, DWORD ms = kWaitMs);
int CheckState(HWND dialog, int id);
bool SetControlText(HWND dialog, int id, const std::string& text);
void PressEscape(HWND dialog);
void CloseBox(HWND dialog);

}  // namespace e2e
