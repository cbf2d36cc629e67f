#include "runner/system_folders.h"

#include <windows.h>

#include <string>

#include "win/wide_text.h"

namespace {

// The longest path the system can hand out, in UTF-16 units, terminator included.
constexpr DWORD LONGEST_PATH = 32768;

}  // namespace

bool OwnProgramPath(std::string& path) {
    std::wstring wide(LONGEST_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, wide.data(), LONGEST_PATH);
    if (length == 0 || length >= LONGEST_PATH) {
        return false;
    }
    wide.resize(length);
    path = WideToUtf8(wide);
    return true;
}

bool WindowsFolder(std::string& path) {
    std::wstring wide(LONGEST_PATH, L'\0');
    const UINT length = GetWindowsDirectoryW(wide.data(), LONGEST_PATH);
    if (length == 0 || length >= LONGEST_PATH) {
        return false;
    }
    wide.resize(length);
    path = WideToUtf8(wide);
    return true;
}
