// A stand-in for a product's installer: records what it saw, so that a test (or a person) can
// check how the self-unpacking program started it. The record goes to the file named by the
// environment variable FILESPACK_SETUP_LOG (Shift-JIS text, appended); FILESPACK_SETUP_MKDIR
// names a folder to create next to this program, as real installers sometimes leave behind;
// FILESPACK_SETUP_EXIT is the exit code to end with (default 0), such as 3010 for "restart
// required".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kBufferSize = 1024;

// Cuts the path at its last backslash, walking Shift-JIS characters so that the second byte of
// a character such as 表 (0x95 0x5C) is not taken for a separator.
void CutFileName(char* path) {
    char* last = nullptr;
    for (char* p = path; *p != '\0'; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            ++p;
        } else if (*p == '\\') {
            last = p;
        }
    }
    if (last != nullptr) *last = '\0';
}

bool ReadVariable(const char* name, char* value) {
    const DWORD length = GetEnvironmentVariableA(name, value, kBufferSize);
    return length > 0 && length < kBufferSize;
}

void RecordFolder(std::FILE* log, const char* folder) {
    char pattern[kBufferSize];
    std::snprintf(pattern, sizeof pattern, "%s\\*.*", folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (is_folder) {
            std::fprintf(log, "folder=%s\n", found.cFileName);
        } else {
            std::fprintf(log, "file=%s\t%llu\t0x%02lX\n", found.cFileName, size,
                         static_cast<unsigned long>(found.dwFileAttributes));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

unsigned ExitCode() {
    char value[kBufferSize];
    if (!ReadVariable("FILESPACK_SETUP_EXIT", value)) return 0;
    return static_cast<unsigned>(std::strtoul(value, nullptr, 0));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const auto exit_code = static_cast<int>(ExitCode());
    char own_folder[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own_folder, MAX_PATH);
    CutFileName(own_folder);

    char subfolder[kBufferSize];
    if (ReadVariable("FILESPACK_SETUP_MKDIR", subfolder)) {
        char path[kBufferSize * 2];
        std::snprintf(path, sizeof path, "%s\\%s", own_folder, subfolder);
        CreateDirectoryA(path, nullptr);
    }

    char log_path[kBufferSize];
    if (!ReadVariable("FILESPACK_SETUP_LOG", log_path)) return exit_code;
    std::FILE* log = std::fopen(log_path, "ab");
    if (log == nullptr) return 1;
    char current[kBufferSize] = {};
    GetCurrentDirectoryA(kBufferSize, current);
    std::fprintf(log, "command_line=%s\n", GetCommandLineA());
    // As the C runtime split them: what an installer's own option parsing gets to see.
    for (int i = 1; i < __argc; ++i) std::fprintf(log, "argument=%s\n", __argv[i]);
    std::fprintf(log, "current_directory=%s\n", current);
    std::fprintf(log, "own_folder=%s\n", own_folder);
    RecordFolder(log, own_folder);
    std::fprintf(log, "exit_code=%d\n", exit_code);
    std::fprintf(log, "end\n");
    std::fclose(log);
    return exit_code;
}
