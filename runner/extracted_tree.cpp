#include "runner/extracted_tree.h"

#include <windows.h>

#include <cstdint>

#include "win/wide_text.h"
#include "runner/work_folder_cleanup.h"

namespace {

// Paths here are what the engine composed, in UTF-8, where no character holds a 0x5C byte.
size_t NextSeparator(const std::string& path, size_t from) {
    return from >= path.size() ? std::string::npos : path.find('\\', from);
}

// The path as the W functions take it, long ones included; empty when it cannot be spelled.
std::wstring Wide(const std::string& path) {
    std::wstring wide;
    if (!FileSystemPath(std::string_view(path), wide)) wide.clear();
    return wide;
}

// Every folder between the work folder and `path` is still a plain folder.
bool NoLinkOnTheWay(const std::string& folder, const std::string& path) {
    for (size_t end = NextSeparator(path, folder.size() + 1); end != std::string::npos;
         end = NextSeparator(path, end + 1)) {
        const DWORD attributes = GetFileAttributesW(Wide(path.substr(0, end)).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ExtractedTree::TakeBack(RunLog& log, const std::string& folder,
                             RetryDeadline& deadline) const {
    for (const std::string& file : files_) {
        // The top's files go with the rest of the top.
        if (NextSeparator(file, folder.size() + 1) == std::string::npos) continue;
        if (!NoLinkOnTheWay(folder, file)) {
            log.Write("clean-up: kept %s (a link is on its way)", file.c_str());
            continue;
        }
        const std::wstring wide = Wide(file);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
             (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)) {
            continue;
        }
        // Packages may carry read-only files, which DeleteFileW refuses.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        }
        // A link to a folder is removed as a link.
        RemoveRetrying(log, deadline, wide, file, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    for (auto made = folders_.rbegin(); made != folders_.rend(); ++made) {
        if (!NoLinkOnTheWay(folder, *made)) continue;
        if (!RemoveRetrying(log, deadline, Wide(*made), *made, true)) {
            log.Write("clean-up: kept %s (not empty)", made->c_str());
        }
    }
}
