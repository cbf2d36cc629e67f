#include "e2e_driver.h"

#include <tlhelp32.h>

namespace e2e {

namespace {

void Nap() {
    Sleep(50);
}

bool SendTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 10000,
                               result != nullptr ? result : &ignored) != 0;
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr,
                                                             0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
    return utf8;
}

void SetVariable(const std::string& name, const char* value) {
    SetEnvironmentVariableW(Wide(name).c_str(), value != nullptr ? Wide(value).c_str() : nullptr);
}

bool CopyTo(const std::string& from, const std::string& to) {
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

bool Remove(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryW(Wide(path).c_str()) != 0;
}

std::string CurrentFolder() {
    wchar_t path[MAX_PATH];
    const DWORD len = GetCurrentDirectoryW(MAX_PATH, path);
    return Utf8(std::wstring(path, len < MAX_PATH ? len : 0));
}

std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void RemoveTree(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide.c_str());
        return;
    }
    for (const std::string& name : List(path)) RemoveTree(Join(path, name));
    RemoveDirectoryW(wide.c_str());
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok != 0 && written == bytes.size();
}

std::string ReadFile(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return bytes;
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(Join(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Utf8(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    return names;
}

std::string WindowsDirectory() {
    wchar_t path[MAX_PATH];
    const UINT len = GetWindowsDirectoryW(path, MAX_PATH);
    return Utf8(std::wstring(path, len < MAX_PATH ? len : 0));
}

int FirstFreeWorkFolder() {
    int n = 1;
    while (Exists(WorkFolder(n))) ++n;
    return n;
}

std::string WorkFolder(int n) {
    return Join(WindowsDirectory(), "UnpackDir" + std::to_string(n));
}

Process::~Process() {
    Kill();
    if (handle_ != nullptr) CloseHandle(handle_);
}

bool Process::Start(const std::string& exe, const std::string& arguments,
                    const std::string& directory) {
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty()) command += " " + arguments;
    std::wstring wide_command = Wide(command);
    const std::wstring wide_directory = Wide(directory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(Wide(exe).c_str(), wide_command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       directory.empty() ? nullptr : wide_directory.c_str(), &startup,
                       &info) == 0) {
        return false;
    }
    CloseHandle(info.hThread);
    handle_ = info.hProcess;
    pid_ = info.dwProcessId;
    return true;
}

bool Process::Attach(DWORD pid) {
    handle_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
    pid_ = pid;
    return handle_ != nullptr;
}

int64_t Process::WaitExit(DWORD ms) {
    if (handle_ == nullptr || WaitForSingleObject(handle_, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

bool Process::Running() const {
    return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
    if (Running()) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
    }
}

std::vector<std::string> Modules(DWORD pid) {
    std::vector<std::string> paths;
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    // The snapshot can fail while the process is loading a module: try again.
    for (int attempt = 0; attempt < 20 && snapshot == INVALID_HANDLE_VALUE; ++attempt) {
        snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
        if (snapshot == INVALID_HANDLE_VALUE) Nap();
    }
    if (snapshot == INVALID_HANDLE_VALUE) return paths;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more != 0;
         more = Module32NextW(snapshot, &entry)) {
        paths.push_back(Utf8(entry.szExePath));
    }
    CloseHandle(snapshot);
    return paths;
}

std::vector<DWORD> Children(DWORD parent) {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more != 0;
         more = Process32NextW(snapshot, &entry)) {
        // The installer a product starts and waits for can still be listed for a moment after
        // it ended; only a copy of the product itself (a relaunch) is asked about.
        if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent &&
            lstrcmpiW(entry.szExeFile, L"Setup.exe") != 0) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return children;
}

DWORD WaitChild(DWORD parent, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        const std::vector<DWORD> children = Children(parent);
        if (!children.empty()) return children.front();
        Nap();
    }
    return 0;
}

std::string ClassName(HWND window) {
    wchar_t name[64];
    const int len = GetClassNameW(window, name, 64);
    return Utf8(std::wstring(name, len > 0 ? static_cast<size_t>(len) : 0));
}

std::string Text(HWND window) {
    wchar_t text[2048];
    DWORD_PTR len = 0;
    if (window == nullptr ||
        !SendTimeout(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), &len)) {
        return {};
    }
    return Utf8(std::wstring(text, len < 2048 ? len : 0));
}

std::string ControlText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

bool IsMessageBox(HWND window) {
    return GetDlgItem(window, kMessageBoxTextId) != nullptr;
}

bool HasControl(HWND dialog, int id) {
    return GetDlgItem(dialog, id) != nullptr;
}

namespace {

struct Search {
    DWORD pid;
    const std::function<bool(HWND)>* match;
    HWND found;
    bool any_class = false;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || IsWindowVisible(window) == 0 ||
        (!search->any_class && ClassName(window) != "#32770")) {
        return TRUE;
    }
    if (search->match != nullptr && !(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindNow(DWORD pid, const std::function<bool(HWND)>* match) {
    Search search{pid, match, nullptr};
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND WaitDialog(DWORD pid, const std::function<bool(HWND)>& match, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        if (HWND found = FindNow(pid, &match)) return found;
        if (GetTickCount64() >= end) return nullptr;
        Nap();
    }
}

HWND WaitMessageBox(DWORD pid, DWORD ms) {
    return WaitDialog(
        pid, [](HWND w) { return IsMessageBox(w); }, ms);
}

HWND AnyDialog(DWORD pid) {
    return FindNow(pid, nullptr);
}

HWND AnyVisibleWindow(DWORD pid) {
    Search search{pid, nullptr, nullptr, true};
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool WaitGone(HWND window, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (IsWindow(window) != 0 && IsWindowVisible(window) != 0) {
        if (GetTickCount64() >= end) return false;
        Nap();
    }
    return true;
}

int CheckState(HWND dialog, int id) {
    DWORD_PTR state = 0;
    SendTimeout(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, &state);
    return static_cast<int>(state);
}

bool SetControlText(HWND dialog, int id, const std::string& text) {
    const std::wstring wide = Wide(text);
    return SendTimeout(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(wide.c_str()), nullptr);
}

void PressEscape(HWND dialog) {
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
}

void CloseBox(HWND dialog) {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

}  // namespace e2e
