#include "runner/work_folder_cleanup.h"

#include <cstdint>
#include <string>
#include <vector>

#include "runner/file_retry.h"
#include "win/held_folder.h"
#include "win/wide_text.h"

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

// The names of the files (not folders) in a held folder, read through its handle, so that the
// folder listed is the folder the files are then removed from.
std::vector<std::wstring> FilesIn(HANDLE folder) {
    std::vector<std::wstring> names;
    alignas(8) unsigned char buffer[16384];
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, query, buffer, sizeof buffer) != 0) {
        query = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    return names;
}

// Why an item stays, once the retries are over.
void LogKept(RunLog& log, const std::string& shown, DWORD error) {
    const char* because = "could not be removed";
    if (error == ERROR_DIR_NOT_EMPTY) {
        because = "not empty";
    } else if (FaultOf(error) == FileFault::held) {
        because = "held past the deadline";
    } else if (FaultOf(error) == FileFault::denied) {
        because = "access denied";
    } else {
        log.Write("clean-up: kept %s (%s: error %lu)", shown.c_str(), because,
                  static_cast<unsigned long>(error));
        return;
    }
    log.Write("clean-up: kept %s (%s)", shown.c_str(), because);
}

// Opens the item with `open`, then marks it for removal, trying again while another program
// holds it; the removal happens, and is logged, once the item's handle closes. A link is removed
// as itself; with a nonzero identity, only the item the run made.
template <typename Open>
void RemoveRetrying(RunLog& log, RetryDeadline& deadline, const std::string& shown,
                    uint64_t identity, Open open) {
    bool link = false;
    bool missing = false;
    bool replaced = false;
    DWORD error = 0;
    const bool removed = RetryWhileHeld(
        deadline, error,
        [&](DWORD& failure) {
            win::Handle item;
            win::NodeInfo info;
            uint32_t code = 0;
            const win::Reached reached = open(item, code, &info);
            missing = reached == win::Reached::missing;
            if (missing) return true;
            if (reached != win::Reached::ok && reached != win::Reached::link) {
                failure = code;
                return false;
            }
            link = reached == win::Reached::link;
            replaced = !link && identity != 0 && info.identity != identity;
            if (replaced) return true;
            if (win::RemoveWhenClosed(item.Get(), info.attributes, code)) return true;
            failure = code;
            return false;
        },
        [&](DWORD failure) {
            log.Write("clean-up: %s %s (error %lu), trying again", shown.c_str(),
                      FaultOf(failure) == FileFault::held ? "is held" : "is denied to us",
                      static_cast<unsigned long>(failure));
        });
    if (!removed) {
        LogKept(log, shown, error);
    } else if (replaced) {
        log.Write("clean-up: kept %s (not what the run made)", shown.c_str());
    } else if (link) {
        log.Write("clean-up: removed %s (it had turned into a link; what it leads to is kept)",
                  shown.c_str());
    } else if (!missing) {
        log.Write("clean-up: removed %s", shown.c_str());
    }
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

void RemoveMadeItem(RunLog& log, RetryDeadline& deadline, HANDLE parent, std::wstring_view name,
                    const std::string& shown, uint64_t identity) {
    RemoveRetrying(log, deadline, shown, identity,
                   [&](win::Handle& item, uint32_t& error, win::NodeInfo* info) {
                       return win::OpenItemIn(parent, name, item, error, info);
                   });
}

void CleanUpWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline) {
    std::wstring wide;
    if (!FileSystemPath(folder, wide)) {
        log.Write("clean-up: kept %s (no such path)", folder.c_str());
        return;
    }
    {
        // Files are opened relative to this handle: the folder listed is the one emptied, even
        // were its path to lead elsewhere meanwhile.
        win::Handle top;
        uint32_t error = 0;
        const win::Reached reached =
            win::OpenFolder(wide, top, error, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (reached == win::Reached::link) {
            log.Write("clean-up: kept %s (it turned into a link)", folder.c_str());
            return;
        }
        if (reached == win::Reached::ok) {
            for (const std::wstring& name : FilesIn(top.Get())) {
                RemoveMadeItem(log, deadline, top.Get(), name, folder + "\\" + WideToUtf8(name), 0);
            }
        }
    }
    RemoveWorkFolder(log, folder, deadline);
}

void RemoveWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline) {
    std::wstring wide;
    if (!FileSystemPath(folder, wide)) {
        log.Write("clean-up: kept %s (no such path)", folder.c_str());
        return;
    }
    RemoveRetrying(log, deadline, folder, 0,
                   [&](win::Handle& item, uint32_t& error, win::NodeInfo* info) {
                       return win::OpenItem(wide, item, error, info);
                   });
}
