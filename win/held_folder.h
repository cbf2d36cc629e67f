// Folders and files reached one name part at a time from a folder already held open, never
// through a reparse point (junction, mount point, symbolic link), so that what was checked is
// what is used: no part is looked up again by its path, where a folder swapped for a link after
// the check would send the work elsewhere. Errors are Win32 error codes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace win {

// One handle, closed when it goes.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool IsOpen() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        const HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) {
        Close();
        handle_ = handle;
    }

  private:
    void Close();
    HANDLE handle_ = nullptr;
};

enum class Reached {
    ok,
    missing,     // nothing of that name
    link,        // a reparse point: left alone, and not entered
    not_folder,  // a file where a folder was expected
    failed,      // anything else; the error says what
};

// What the file system says of an opened file or folder. The identity (the file id) tells a
// folder the run made from another put in its place under the same name.
struct NodeInfo {
    uint32_t attributes = 0;
    uint64_t identity = 0;
};

bool ReadNode(HANDLE handle, NodeInfo& info);

// The folder at `path` (the "\\?\" form), opened without following a reparse point at its end,
// for listing and for reaching what it holds. Held folders share reading only: nobody may open
// one to write, which is what turning a folder into a mount point takes, nor rename or delete it
// while it is held.
// `share` may add FILE_SHARE_WRITE where nothing more is made in the folder.
Reached OpenFolder(std::wstring_view path, Handle& folder, uint32_t& error,
                   uint32_t share = FILE_SHARE_READ);

// The folder `name` (one part) inside `parent`, made first when `make` is set and it is missing
// (then `*made` is set), and held as OpenFolder holds one. `info`, when given, receives it.
Reached OpenFolderIn(HANDLE parent, std::wstring_view name, bool make, Handle& folder, bool* made,
                     uint32_t& error, NodeInfo* info = nullptr, uint32_t share = FILE_SHARE_READ);

// A new file `name` inside `parent`, open for writing and shared with nobody; never an existing
// file, whatever it is. The name is taken exactly as it is spelt: no trailing blank or dot is
// dropped.
bool CreateFileIn(HANDLE parent, std::wstring_view name, Handle& file, uint32_t& error);

// What is at `name` inside `parent`, itself (a link is opened as the link), for changing its
// attributes and removing it. Shared with everyone, so that only a program that refuses
// deletion keeps it.
Reached OpenItemIn(HANDLE parent, std::wstring_view name, Handle& item, uint32_t& error,
                   NodeInfo* info = nullptr);

// The same for a whole path (the "\\?\" form), for the top of a tree.
Reached OpenItem(std::wstring_view path, Handle& item, uint32_t& error, NodeInfo* info = nullptr);

bool SetAttributes(HANDLE item, uint32_t attributes, uint32_t& error);

// Marks `item` (from OpenItemIn) for deletion when its last handle closes. Read-only, which the
// system refuses to delete, is cleared first (and put back when the deletion fails). A folder
// must be empty: ERROR_DIR_NOT_EMPTY otherwise.
bool RemoveWhenClosed(HANDLE item, uint32_t attributes, uint32_t& error);

}  // namespace win
