// NtCreateFile is what takes a name relative to a folder handle; CreateFileW knows only whole
// paths. Its functions are looked up at run time in the ntdll already mapped into every Windows
// process before its first instruction (GetModuleHandleW: never searched for, so no planted
// copy can stand in), which keeps the program's load-time imports to the usual system DLLs.
// These calls have been in ntdll since the first NT.
#include "win/held_folder.h"

#include <winternl.h>

#include <cstring>

namespace win {

namespace {

// The native calls, found once.
struct NativeCalls {
    using CreateFile = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    using FileInformation = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                             FILE_INFORMATION_CLASS);
    using StatusToError = ULONG(NTAPI*)(NTSTATUS);

    NativeCalls() {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr) return;
        create = Find<CreateFile>(ntdll, "NtCreateFile");
        query = Find<FileInformation>(ntdll, "NtQueryInformationFile");
        set = Find<FileInformation>(ntdll, "NtSetInformationFile");
        to_error = Find<StatusToError>(ntdll, "RtlNtStatusToDosError");
    }
    bool Complete() const {
        return create != nullptr && query != nullptr && set != nullptr && to_error != nullptr;
    }

    template <typename Function>
    static Function Find(HMODULE module, const char* name) {
        // The cast from a generic procedure address to its real type is how GetProcAddress works.
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    CreateFile create = nullptr;
    FileInformation query = nullptr;
    FileInformation set = nullptr;
    StatusToError to_error = nullptr;
};

const NativeCalls& Native() {
    static const NativeCalls calls;
    return calls;
}

// What a call that cannot be made returns.
constexpr NTSTATUS NOT_IMPLEMENTED = static_cast<NTSTATUS>(0xC0000002L);

NTSTATUS QueryFile(HANDLE handle, PVOID data, ULONG size, FILE_INFORMATION_CLASS kind) {
    if (!Native().Complete()) return NOT_IMPLEMENTED;
    IO_STATUS_BLOCK io;
    return Native().query(handle, &io, data, size, kind);
}

NTSTATUS SetFile(HANDLE handle, PVOID data, ULONG size, FILE_INFORMATION_CLASS kind) {
    if (!Native().Complete()) return NOT_IMPLEMENTED;
    IO_STATUS_BLOCK io;
    return Native().set(handle, &io, data, size, kind);
}

// Access to an item that is to lose its read-only attribute and go.
constexpr ACCESS_MASK ITEM_ACCESS =
    DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

// The attributes a program may set (FILE_ATTRIBUTE_VALID_SET_FLAGS).
constexpr uint32_t VALID_SET_FLAGS = 0x31A7;

constexpr ULONG STATUS_FILE_CREATED = 2;  // IO_STATUS_BLOCK.Information after a creation

// Access a held folder needs: list it, reach into it, read what it is. SYNCHRONIZE with
// FILE_SYNCHRONOUS_IO_NONALERT makes the handle one the Win32 functions can use.
constexpr ACCESS_MASK FOLDER_ACCESS =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

uint32_t ErrorOf(NTSTATUS status) {
    if (!Native().Complete()) return ERROR_CALL_NOT_IMPLEMENTED;
    return static_cast<uint32_t>(Native().to_error(status));
}

bool IsMissing(uint32_t error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// One part, relative to `parent`, never through a reparse point: with FILE_OPEN_REPARSE_POINT
// a link is opened as itself, and the caller sees its attribute.
NTSTATUS OpenRelative(HANDLE parent, std::wstring_view name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, HANDLE& handle, ULONG_PTR* information) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.data());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    // Case-insensitive, as the Win32 functions look names up.
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io;
    std::memset(&io, 0, sizeof io);
    handle = nullptr;
    if (!Native().Complete()) return NOT_IMPLEMENTED;
    const NTSTATUS status = Native().create(
        &handle, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (information != nullptr) *information = io.Information;
    return status;
}

// A name part longer than UNICODE_STRING can count is no name any file system takes.
bool Countable(std::wstring_view name) {
    return !name.empty() && name.size() < 0x7FFF;
}

Reached Judge(HANDLE handle, NodeInfo* info, uint32_t& error) {
    NodeInfo node;
    if (!ReadNode(handle, node)) {
        error = GetLastError();
        return Reached::failed;
    }
    if (info != nullptr) *info = node;
    if ((node.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Reached::link;
    if ((node.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Reached::not_folder;
    return Reached::ok;
}

// Whatever an item is, a link is told apart; `item` keeps the handle unless it cannot be read.
Reached JudgeItem(HANDLE handle, Handle& item, uint32_t& error, NodeInfo* info) {
    item.Reset(handle);
    NodeInfo node;
    if (!ReadNode(handle, node)) {
        error = GetLastError();
        item.Reset();
        return Reached::failed;
    }
    if (info != nullptr) *info = node;
    return (node.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Reached::link : Reached::ok;
}

}  // namespace

void Handle::Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = nullptr;
}

bool ReadNode(HANDLE handle, NodeInfo& info) {
    FILE_BASIC_INFORMATION basic;
    NTSTATUS status = QueryFile(handle, &basic, sizeof basic, FileBasicInformation);
    if (!NT_SUCCESS(status)) {
        SetLastError(ErrorOf(status));
        return false;
    }
    FILE_INTERNAL_INFORMATION internal;
    status = QueryFile(handle, &internal, sizeof internal,
                       static_cast<FILE_INFORMATION_CLASS>(6));  // FileInternalInformation
    if (!NT_SUCCESS(status)) {
        SetLastError(ErrorOf(status));
        return false;
    }
    info.attributes = basic.FileAttributes;
    info.identity = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
    return true;
}

Reached OpenFolder(std::wstring_view path, Handle& folder, uint32_t& error, uint32_t share) {
    folder.Reset();
    const std::wstring whole(path);
    const HANDLE handle =
        CreateFileW(whole.c_str(), FOLDER_ACCESS, share, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return IsMissing(error) ? Reached::missing : Reached::failed;
    }
    folder.Reset(handle);
    const Reached reached = Judge(handle, nullptr, error);
    if (reached != Reached::ok) folder.Reset();
    return reached;
}

Reached OpenFolderIn(HANDLE parent, std::wstring_view name, bool make, Handle& folder, bool* made,
                     uint32_t& error, NodeInfo* info, uint32_t share) {
    folder.Reset();
    if (made != nullptr) *made = false;
    if (!Countable(name)) {
        error = ERROR_INVALID_NAME;
        return Reached::failed;
    }
    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    const NTSTATUS status =
        OpenRelative(parent, name, FOLDER_ACCESS, share, make ? FILE_OPEN_IF : FILE_OPEN,
                     FILE_DIRECTORY_FILE, handle, &information);
    if (!NT_SUCCESS(status)) {
        error = ErrorOf(status);
        if (error == ERROR_DIRECTORY) return Reached::not_folder;
        return IsMissing(error) ? Reached::missing : Reached::failed;
    }
    folder.Reset(handle);
    if (made != nullptr) *made = information == STATUS_FILE_CREATED;
    const Reached reached = Judge(handle, info, error);
    if (reached != Reached::ok) folder.Reset();
    return reached;
}

bool CreateFileIn(HANDLE parent, std::wstring_view name, Handle& file, uint32_t& error) {
    file.Reset();
    if (!Countable(name)) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    HANDLE handle = nullptr;
    const NTSTATUS status =
        OpenRelative(parent, name, FILE_GENERIC_WRITE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0,
                     FILE_CREATE, FILE_NON_DIRECTORY_FILE, handle, nullptr);
    if (!NT_SUCCESS(status)) {
        error = ErrorOf(status);
        return false;
    }
    file.Reset(handle);
    return true;
}

Reached OpenItemIn(HANDLE parent, std::wstring_view name, Handle& item, uint32_t& error,
                   NodeInfo* info) {
    item.Reset();
    if (!Countable(name)) {
        error = ERROR_INVALID_NAME;
        return Reached::failed;
    }
    HANDLE handle = nullptr;
    const NTSTATUS status = OpenRelative(parent, name, ITEM_ACCESS,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_OPEN, 0, handle, nullptr);
    if (!NT_SUCCESS(status)) {
        error = ErrorOf(status);
        return IsMissing(error) ? Reached::missing : Reached::failed;
    }
    return JudgeItem(handle, item, error, info);
}

Reached OpenItem(std::wstring_view path, Handle& item, uint32_t& error, NodeInfo* info) {
    item.Reset();
    const std::wstring whole(path);
    const HANDLE handle = CreateFileW(
        whole.c_str(), ITEM_ACCESS, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return IsMissing(error) ? Reached::missing : Reached::failed;
    }
    return JudgeItem(handle, item, error, info);
}

bool SetAttributes(HANDLE item, uint32_t attributes, uint32_t& error) {
    FILE_BASIC_INFORMATION basic;
    std::memset(&basic, 0, sizeof basic);  // zero times: left as they are
    // Only what SetFileAttributesW would take; zero would mean "leave the attributes alone",
    // NORMAL is the way to clear them all.
    const uint32_t settable = attributes & VALID_SET_FLAGS;
    basic.FileAttributes = settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
    const NTSTATUS status = SetFile(item, &basic, sizeof basic, FileBasicInformation);
    if (NT_SUCCESS(status)) return true;
    error = ErrorOf(status);
    return false;
}

bool RemoveWhenClosed(HANDLE item, uint32_t attributes, uint32_t& error) {
    const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only && !SetAttributes(item, attributes & ~uint32_t{FILE_ATTRIBUTE_READONLY}, error)) {
        return false;
    }
    FILE_DISPOSITION_INFORMATION disposition;
    disposition.DoDeleteFile = TRUE;
    const NTSTATUS status =
        SetFile(item, &disposition, sizeof disposition, FileDispositionInformation);
    if (NT_SUCCESS(status)) return true;
    error = ErrorOf(status);
    uint32_t ignored = 0;
    if (read_only) SetAttributes(item, attributes, ignored);
    return false;
}

}  // namespace win
