// The engine's system calls on Windows: the W file functions. Paths arrive in UTF-8; entry
// names are Shift-JIS and read with code page 932 whatever the system's own code page is.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "package/entry_name.h"
#include "package/name_encoding.h"
#include "package/platform_file.h"
#include "win/held_folder.h"
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

// A name is judged in its own encoding, code page 932, and must come back from UTF-8 as the
// same bytes, as on every platform: a second code of one character (the NEC and IBM rows) would
// otherwise make the same file as the first.
EntryPath ComposeEntryPath(const char* folder, const char* name, size_t name_length, char* path) {
    const std::string_view stored(name, name_length);
    std::string utf8;
    if (EntryTreeProblem(stored, IsShiftJisLeadByte) || !ShiftJisToUtf8(stored, utf8)) {
        return EntryPath::refused_name;
    }
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

// The destination is opened once and held for the run; every folder and file of a name is then
// reached from it by handle, part by part, so that the path is never looked up again. It shares
// reading only: nobody can write to it (which turning it into a mount point takes), rename it or
// delete it until the extraction ends.
void OutputFolder::Open(const char* folder, CreationRecord* record) {
    record_ = record;
    std::wstring wide;
    if (folder == nullptr || !FileSystemPath(folder, wide)) return;
    prefix_ = std::strlen(folder) + 1;
    win::Handle held;
    uint32_t error = 0;
    if (win::OpenFolder(wide, held, error) == win::Reached::ok) {
        handle_ = reinterpret_cast<intptr_t>(held.Release());
    }
}

void OutputFolder::CloseParent() {}

// Each folder of a name is made if it is missing inside the folder that holds it (held already:
// names are walked from the destination down), opened without following a reparse point, and
// held as the destination is until the run ends.
bool OutputFolder::HoldFolder(std::string_view folder) {
    for (const auto& [path, handle] : held_) {
        if (path == folder) {
            parent_ = handle;
            return true;
        }
    }
    std::wstring part;
    if (!Utf8ToWide(folder.substr(leaf_), part)) return false;
    win::Handle held;
    bool made = false;
    uint32_t error = 0;
    win::NodeInfo info;
    const win::Reached reached =
        win::OpenFolderIn(reinterpret_cast<HANDLE>(parent_), part, true, held, &made, error, &info);
    if (reached != win::Reached::ok) return false;
    if (made && record_ != nullptr) {
        record_->OnFolderCreated(folder.data(), folder.size(), info.identity);
    }
    parent_ = reinterpret_cast<intptr_t>(held.Release());
    held_.emplace_back(std::string(folder), parent_);
    return true;
}

// Decoded into UTF-8, every backslash of a name separates folders. A destination that could not
// be held takes no file: nothing is ever created by its path.
FileHandle CreateNewFile(OutputFolder& folder, const char* path) {
    folder.parent_ = -1;
    if (folder.handle_ == -1) return INVALID_FILE;
    folder.parent_ = folder.handle_;
    folder.leaf_ = folder.prefix_;
    const std::string_view whole(path);
    for (size_t end = whole.find('\\', folder.prefix_); end != std::string_view::npos;
         end = whole.find('\\', end + 1)) {
        if (!folder.HoldFolder(whole.substr(0, end))) {
            folder.parent_ = -1;
            return INVALID_FILE;
        }
        folder.leaf_ = end + 1;
    }
    std::wstring leaf;
    if (!Utf8ToWide(whole.substr(folder.leaf_), leaf)) return INVALID_FILE;
    win::Handle file;
    uint32_t error = 0;
    if (!win::CreateFileIn(reinterpret_cast<HANDLE>(folder.parent_), leaf, file, error)) {
        return INVALID_FILE;
    }
    win::NodeInfo info;
    if (!win::ReadNode(file.Get(), info)) info.identity = 0;
    if (folder.record_ != nullptr) folder.record_->OnFileCreated(path, info.identity);
    return reinterpret_cast<FileHandle>(file.Release());
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

// The file is opened again in the folder that holds it, as itself: were it swapped for a link
// meanwhile, the link would get the attributes, never what it leads to.
void ApplyFileAttributes(const OutputFolder& folder, const char* path, uint32_t attributes) {
    if (folder.parent_ == -1) return;
    std::wstring leaf;
    if (!Utf8ToWide(std::string_view(path).substr(folder.leaf_), leaf)) return;
    win::Handle item;
    uint32_t error = 0;
    if (win::OpenItemIn(reinterpret_cast<HANDLE>(folder.parent_), leaf, item, error) ==
        win::Reached::ok) {
        win::SetAttributes(item.Get(), attributes, error);
    }
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
