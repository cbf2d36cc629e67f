// The engine's system calls on Windows: the W file functions. Paths arrive in UTF-8; entry
// names are Shift-JIS and read with code page 932 whatever the system's own code page is.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "package/entry_name.h"
#include "package/platform_file.h"
#include "win/wide_text.h"

namespace platform {

namespace {

FILETIME ToFileTime(FileTime value) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

// A name is judged in its own encoding, code page 932, and must convert from it exactly: a
// byte sequence that 932 does not define would otherwise become a substitute character.
EntryPath ComposeEntryPath(const char* folder, const char* name, size_t name_length, char* path) {
    const std::string_view stored(name, name_length);
    std::wstring wide;
    if (EntryTreeProblem(stored, IsShiftJisLeadByte) || !ShiftJisToWide(stored, wide)) {
        return EntryPath::refused_name;
    }
    const std::string utf8 = WideToUtf8(wide);
    if (folder == nullptr) return EntryPath::too_long;
    const size_t folder_length = std::strlen(folder);
    if (folder_length + 1 + utf8.size() + 1 > OUTPUT_PATH_CAPACITY) return EntryPath::too_long;
    std::memcpy(path, folder, folder_length);
    path[folder_length] = '\\';
    std::memcpy(path + folder_length + 1, utf8.data(), utf8.size());
    path[folder_length + 1 + utf8.size()] = '\0';
    return EntryPath::ok;
}

OutputFolder::~OutputFolder() {
    for (const auto& [path, handle] : held_) CloseHandle(reinterpret_cast<HANDLE>(handle));
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// Files are created by path, so the folder must stay where it is while they are: a handle that
// does not share delete access keeps anyone from renaming or deleting the folder, and from putting
// a junction in its place, until the extraction ends. (A handle that may only read attributes
// would take no part in the sharing check.)
void OutputFolder::Open(const char* folder, CreationRecord* record) {
    record_ = record;
    std::wstring wide;
    if (folder == nullptr || !FileSystemPath(folder, wide)) return;
    prefix_ = std::strlen(folder) + 1;
    const HANDLE handle =
        CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<intptr_t>(handle);
}

void OutputFolder::CloseParent() {}

// Each folder of a name is made if it is missing, then opened without following a reparse point
// and held, without delete sharing, until the run ends, as the destination is: once checked, a
// folder can be neither renamed nor swapped for a junction while files are created in it.
bool OutputFolder::HoldFolder(std::string_view folder) {
    for (const auto& [path, handle] : held_) {
        if (path == folder) return true;
    }
    std::wstring wide;
    if (!FileSystemPath(folder, wide)) return false;
    const bool made = CreateDirectoryW(wide.c_str(), nullptr) != 0;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (made && record_ != nullptr) record_->OnFolderCreated(folder.data(), folder.size());
    const HANDLE handle = CreateFileW(
        wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool plain_folder = GetFileInformationByHandle(handle, &info) != 0 &&
                              (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                              (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (!plain_folder) {
        CloseHandle(handle);
        return false;
    }
    held_.emplace_back(std::string(folder), reinterpret_cast<intptr_t>(handle));
    return true;
}

// Decoded into UTF-8, every backslash of a name separates folders.
FileHandle CreateNewFile(OutputFolder& folder, const char* path) {
    const std::string_view whole(path);
    for (size_t end = whole.find('\\', folder.prefix_); end != std::string_view::npos;
         end = whole.find('\\', end + 1)) {
        if (!folder.HoldFolder(whole.substr(0, end))) return INVALID_FILE;
    }
    std::wstring wide;
    if (!FileSystemPath(path, wide)) return INVALID_FILE;
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return INVALID_FILE;
    if (folder.record_ != nullptr) folder.record_->OnFileCreated(path);
    return reinterpret_cast<FileHandle>(file);
}

bool WriteToFile(FileHandle file, const uint8_t* data, int32_t size) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(size);
    return WriteFile(ToHandle(file), data, wanted, &written, nullptr) != FALSE && written == wanted;
}

void SetFileTimes(FileHandle file, const EntryTimes& times) {
    const FILETIME creation = ToFileTime(times.creation);
    const FILETIME last_access = ToFileTime(times.last_access);
    const FILETIME last_write = ToFileTime(times.last_write);
    SetFileTime(ToHandle(file), &creation, &last_access, &last_write);
}

void CloseFile(FileHandle file) {
    CloseHandle(ToHandle(file));
}

void ApplyFileAttributes(const OutputFolder&, const char* path, uint32_t attributes) {
    std::wstring wide;
    if (FileSystemPath(path, wide)) SetFileAttributesW(wide.c_str(), attributes);
}

bool ReadFromSource(FileHandle source, void* buffer, int32_t size) {
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(size);
    return ReadFile(ToHandle(source), buffer, wanted, &got, nullptr) != FALSE && got == wanted;
}

void CloseSource(FileHandle source) {
    CloseHandle(ToHandle(source));
}

}  // namespace platform
