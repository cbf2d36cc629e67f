#include "runner/extracted_tree.h"

#include <windows.h>

#include <cstdint>

namespace {

// Paths here are what the engine composed, read with the system's code page.
size_t NextSeparator(const std::string& path, size_t from) {
    for (size_t i = from; i < path.size(); ++i) {
        if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(path[i])) != FALSE) {
            ++i;
        } else if (path[i] == '\\') {
            return i;
        }
    }
    return std::string::npos;
}

// Every folder between the work folder and `path` is still a plain folder.
bool NoLinkOnTheWay(const std::string& folder, const std::string& path) {
    for (size_t end = NextSeparator(path, folder.size() + 1); end != std::string::npos;
         end = NextSeparator(path, end + 1)) {
        const DWORD attributes = GetFileAttributesA(path.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ExtractedTree::TakeBack(RunLog& log, const std::string& folder) const {
    for (const std::string& file : files_) {
        // The top's files go with the rest of the top.
        if (NextSeparator(file, folder.size() + 1) == std::string::npos) continue;
        if (!NoLinkOnTheWay(folder, file)) {
            log.Write("clean-up: kept %s (a link is on its way)", file.c_str());
            continue;
        }
        const DWORD attributes = GetFileAttributesA(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
             (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)) {
            continue;
        }
        // Packages may carry read-only files, which DeleteFileA refuses.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesA(file.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveDirectoryA(file.c_str());  // a link to a folder, removed as a link
        } else {
            DeleteFileA(file.c_str());
        }
    }
    for (auto made = folders_.rbegin(); made != folders_.rend(); ++made) {
        if (!NoLinkOnTheWay(folder, *made)) continue;
        if (RemoveDirectoryA(made->c_str()) == 0) {
            log.Write("clean-up: kept %s (not empty)", made->c_str());
        }
    }
}
