// A stand-in for a product's installer: records what it saw, so that a test (or a person) can
// check how the self-unpacking program started it. The record goes to the file named by the
// environment variable FILESPACK_SETUP_LOG (UTF-8 text, appended); FILESPACK_SETUP_MKDIR
// names a folder to create next to this program, as real installers sometimes leave behind;
// FILESPACK_SETUP_EXIT is the exit code to end with (default 0), such as 3010 for "restart
// required". Everything goes through the W functions, so names and paths are recorded as they
// are on any language setting.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kBufferSize = 32768;

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

bool ReadVariable(const wchar_t* name, std::wstring& value) {
    value.assign(kBufferSize, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), kBufferSize);
    if (length == 0 || length >= kBufferSize) return false;
    value.resize(length);
    return true;
}

void RecordFolder(std::FILE* log, const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        const std::string name = Utf8(found.cFileName);
        if (is_folder) {
            std::fprintf(log, "folder=%s\n", name.c_str());
        } else {
            std::fprintf(log, "file=%s\t%llu\t0x%02lX\n", name.c_str(), size,
                         static_cast<unsigned long>(found.dwFileAttributes));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

unsigned ExitCode() {
    std::wstring value;
    if (!ReadVariable(L"FILESPACK_SETUP_EXIT", value)) return 0;
    return static_cast<unsigned>(std::wcstoul(value.c_str(), nullptr, 0));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const auto exit_code = static_cast<int>(ExitCode());
    std::wstring own_folder(kBufferSize, L'\0');
    own_folder.resize(GetModuleFileNameW(nullptr, own_folder.data(), kBufferSize));
    // No byte of UTF-16 text is half of another character: the last backslash is the separator.
    own_folder.resize(
        own_folder.find_last_of(L'\\') == std::wstring::npos ? 0 : own_folder.find_last_of(L'\\'));

    std::wstring subfolder;
    if (ReadVariable(L"FILESPACK_SETUP_MKDIR", subfolder)) {
        CreateDirectoryW((own_folder + L"\\" + subfolder).c_str(), nullptr);
    }

    std::wstring log_path;
    if (!ReadVariable(L"FILESPACK_SETUP_LOG", log_path)) return exit_code;
    std::FILE* log = _wfopen(log_path.c_str(), L"ab");
    if (log == nullptr) return 1;
    std::wstring current(kBufferSize, L'\0');
    current.resize(GetCurrentDirectoryW(kBufferSize, current.data()));
    std::fprintf(log, "command_line=%s\n", Utf8(GetCommandLineW()).c_str());
    // As the system splits them: what an installer's own option parsing gets to see.
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        std::fprintf(log, "argument=%s\n", Utf8(arguments[i]).c_str());
    }
    LocalFree(arguments);
    std::fprintf(log, "current_directory=%s\n", Utf8(current).c_str());
    std::fprintf(log, "own_folder=%s\n", Utf8(own_folder).c_str());
    RecordFolder(log, own_folder);
    std::fprintf(log, "exit_code=%d\n", exit_code);
    std::fprintf(log, "end\n");
    std::fclose(log);
    return exit_code;
}
