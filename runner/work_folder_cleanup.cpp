#include "runner/work_folder_cleanup.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win/wide_text.h"
#include "runner/file_retry.h"

namespace {

struct FolderEntry {
    std::wstring name;
    DWORD attributes;
    uint64_t size;
};

// The folder's entries but "." and "..". The "\\?\" form reaches folders of any length.
std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name.empty() || name == L"." || name == L"..") {
            continue;
        }
        const uint64_t size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        entries.push_back({name, found.dwFileAttributes, size});
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    return entries;
}

}  // namespace

void LogFolderFiles(RunLog& log, const std::string& folder) {
    std::wstring wide;
    if (!log.IsOn() || !FileSystemPath(folder, wide)) {
        return;
    }
    for (const FolderEntry& entry : ListFolder(wide)) {
        log.Write("file: %s\\%s (%llu bytes)", folder.c_str(), WideToUtf8(entry.name).c_str(),
                  static_cast<unsigned long long>(entry.size));
    }
}

bool RemoveRetrying(RunLog& log, RetryDeadline& deadline, const std::wstring& path,
                    const std::string& shown, bool is_folder) {
    while ((is_folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())) == 0) {
        const DWORD error = GetLastError();
        if (!deadline.Retry(FaultOf(error))) return false;
        log.Write("clean-up: %s is held (error %lu), trying again", shown.c_str(),
                  static_cast<unsigned long>(error));
    }
    return true;
}

void CleanUpWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline) {
    std::wstring wide;
    if (!FileSystemPath(folder, wide)) {
        log.Write("clean-up: kept %s (no such path)", folder.c_str());
        return;
    }
    for (const FolderEntry& entry : ListFolder(wide)) {
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        const std::wstring path = wide + L"\\" + entry.name;
        // Packages may carry read-only files, which DeleteFileW refuses.
        if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(path.c_str(), entry.attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        }
        RemoveRetrying(log, deadline, path, folder + "\\" + WideToUtf8(entry.name), false);
    }
    if (RemoveDirectoryW(wide.c_str()) != 0) {
        log.Write("clean-up: removed %s", folder.c_str());
    } else {
        log.Write("clean-up: kept %s (not empty)", folder.c_str());
    }
}
