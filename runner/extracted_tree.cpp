#include "runner/extracted_tree.h"

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "runner/work_folder_cleanup.h"
#include "win/held_folder.h"
#include "win/wide_text.h"

namespace {

// Held folders in the clean-up may be written to by others: nothing more is made in them, and
// a folder held cannot be swapped for a link under the walk anyway.
constexpr uint32_t WALK_SHARE = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Paths here are what the engine composed, in UTF-8, where no character holds a 0x5C byte: the
// parts between the work folder and the item.
std::vector<std::wstring> PartsBelow(const std::string& folder, const std::string& path) {
    std::vector<std::wstring> parts;
    size_t from = folder.size() + 1;
    for (;;) {
        const size_t end = path.find('\\', from);
        std::wstring part;
        if (!Utf8ToWide(std::string_view(path).substr(from, end - from), part)) return {};
        parts.push_back(std::move(part));
        if (end == std::string::npos) return parts;
        from = end + 1;
    }
}

// Walks from the work folder to the folder that holds `made`, then removes it there.
void TakeBackOne(RunLog& log, RetryDeadline& deadline, HANDLE top, const std::string& folder,
                 const std::string& path, uint64_t identity) {
    const std::vector<std::wstring> parts = PartsBelow(folder, path);
    if (parts.empty()) return;
    std::vector<win::Handle> way;
    HANDLE at = top;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        win::Handle next;
        uint32_t error = 0;
        const win::Reached reached =
            win::OpenFolderIn(at, parts[i], false, next, nullptr, error, nullptr, WALK_SHARE);
        if (reached == win::Reached::missing) return;  // gone with a folder above it
        if (reached == win::Reached::link || reached == win::Reached::not_folder) {
            log.Write("clean-up: kept %s (a link is on its way)", path.c_str());
            return;
        }
        if (reached != win::Reached::ok) {
            log.Write("clean-up: kept %s (its folder could not be opened: error %lu)", path.c_str(),
                      static_cast<unsigned long>(error));
            return;
        }
        at = next.Get();
        way.push_back(std::move(next));
    }
    RemoveMadeItem(log, deadline, at, parts.back(), path, identity);
}

}  // namespace

void ExtractedTree::TakeBack(RunLog& log, const std::string& folder,
                             RetryDeadline& deadline) const {
    std::wstring wide;
    if (!FileSystemPath(folder, wide)) return;
    win::Handle top;
    uint32_t error = 0;
    const win::Reached reached = win::OpenFolder(wide, top, error, WALK_SHARE);
    if (reached == win::Reached::link) {
        log.Write("clean-up: kept %s (it turned into a link)", folder.c_str());
        return;
    }
    if (reached != win::Reached::ok) return;  // the work folder's own clean-up says why
    for (const Made& file : files_) {
        // The top's files go with the rest of the top.
        if (file.path.find('\\', folder.size() + 1) == std::string::npos) continue;
        TakeBackOne(log, deadline, top.Get(), folder, file.path, file.identity);
    }
    for (auto made = folders_.rbegin(); made != folders_.rend(); ++made) {
        TakeBackOne(log, deadline, top.Get(), folder, made->path, made->identity);
    }
}
