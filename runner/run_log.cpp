#include "runner/run_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "win/wide_text.h"

namespace {

// Marks the file as UTF-8 for editors that would otherwise guess the system's code page.
constexpr char BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

}  // namespace

void RunLog::Write(const char* format, ...) {
    if (!IsOn()) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int len = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (len < 0) {
        va_end(again);
        return;
    }
    std::string text(static_cast<size_t>(len) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.pop_back();
    // One event, one line: findstr and a person both read the log line by line.
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u [%lu] ", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  static_cast<unsigned long>(GetCurrentProcessId()));
    std::string line = stamp + text + "\r\n";

    // Opened for each line and only for appending: every write lands whole at the end, even
    // when another run (the elevated copy, a second install) writes to the same file.
    std::wstring wide;
    if (!FileSystemPath(path_, wide)) {
        return;
    }
    HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) != 0 && size.QuadPart == 0) {
        line.insert(0, BYTE_ORDER_MARK);
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}
