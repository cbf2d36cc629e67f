// Test help on Windows: a junction (mount point) made the way another program would make one,
// and removing scratch trees whose names the path functions would rewrite.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace test_win {

// `link` becomes a new folder that is a mount point to `target` (both full paths, no "\\?\").
// False where the file system (or Wine) does not take mount points.
inline bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    const HANDLE handle =
        CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        RemoveDirectoryW(link.c_str());
        return false;
    }
    const std::wstring substitute = L"\\??\\" + target;
    struct {
        DWORD tag;
        WORD data_length;
        WORD reserved;
        WORD substitute_offset;
        WORD substitute_length;
        WORD print_offset;
        WORD print_length;
        WCHAR names[1024];
    } buffer;
    std::memset(&buffer, 0, sizeof buffer);
    const auto bytes = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substitute_length = bytes;
    buffer.print_offset = static_cast<WORD>(bytes + sizeof(WCHAR));
    std::memcpy(buffer.names, substitute.c_str(), bytes);
    // The four offsets and lengths, both names and their terminators.
    buffer.data_length = static_cast<WORD>(8 + bytes + 2 * sizeof(WCHAR));
    DWORD returned = 0;
    const bool set = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &buffer,
                                     buffer.data_length + 8u, nullptr, 0, &returned, nullptr) != 0;
    CloseHandle(handle);
    if (!set) RemoveDirectoryW(link.c_str());
    return set;
}

inline std::wstring Extended(const std::wstring& full) {
    return L"\\\\?\\" + full;
}

// Removes `folder` and all it holds, through "\\?\" paths (names with a trailing blank or dot
// included); links are removed as links.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Extended(folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(Extended(path).c_str(),
                               found.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
            const bool plain_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                      (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
            if (plain_folder) {
                RemoveTree(path);
            } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveDirectoryW(Extended(path).c_str());
            } else {
                DeleteFileW(Extended(path).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(Extended(folder).c_str());
}

}  // namespace test_win
