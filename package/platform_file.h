// The seam between the extraction engine and the operating system: the few calls the engine
// makes to create and finish its output files. One implementation per platform; only those files
// include the system's headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/creation_record.h"
#include "package/package_format.h"
#include "package/platform_handles.h"

namespace platform {

// Room for an output path in UTF-8, terminator included: PATH_MAX on POSIX systems. Windows
// counts paths in UTF-16 units and takes up to 32,767 of them in the "\\?\" form; the same 4,096
// bytes hold at least 1,365 characters there, far beyond MAX_PATH, and a longer path is refused
// before anything is created.
inline constexpr size_t OUTPUT_PATH_CAPACITY = 4096;

enum class EntryPath { ok, refused_name, too_long };

// Writes folder (UTF-8), separator and the entry's stored (Shift-JIS) name into `path`, in the
// form the file calls below take (UTF-8); the name's folders are separated by '\' on Windows and
// '/' elsewhere. The name is judged as those calls will read it: `refused_name` when it could
// reach outside the folder or name a device, `too_long` when the whole does not fit.
EntryPath ComposeEntryPath(const char* folder, const char* name, size_t name_length, char* path);

// The destination folder for one extraction, opened once; every folder of a name and every file
// is then reached from that handle part by part, never through a link, so that renaming the
// folder's path or swapping a folder for a link while the engine works cannot send the files
// anywhere else. On Windows the destination and each folder of a name are also held open for the
// run, shared for reading only, so that none can be renamed, replaced or written to meanwhile.
class OutputFolder {
  public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Failure is not reported here: no file can then be created, as when the folder is
    // missing. Folders made for names are told to `record` (may be null).
    void Open(const char* folder, CreationRecord* record);

  private:
    friend FileHandle CreateNewFile(OutputFolder& folder, const char* path);
    friend void ApplyFileAttributes(const OutputFolder& folder, const char* path,
                                    uint32_t attributes);
    void CloseParent();
    // Windows: makes (if missing) and holds one folder of a name; false when it cannot be
    // made, or what is there is no plain folder.
    bool HoldFolder(std::string_view folder);

    intptr_t handle_ = -1;
    size_t prefix_ = 0;  // the folder and separator at the start of every composed path
    // The folder that holds the last file created, opened part by part from `handle_`, and
    // where that file's own name starts in its path.
    intptr_t parent_ = -1;
    size_t leaf_ = 0;
    CreationRecord* record_ = nullptr;
    // Windows: the folders of names, by path, each held open for the run; each was opened
    // relative to the one that holds it.
    std::vector<std::pair<std::string, intptr_t>> held_;
};

// Creates a new file for writing at a path from ComposeEntryPath, and the folders of its name
// that do not exist yet; never opens an existing file, nor follows a link on the way.
FileHandle CreateNewFile(OutputFolder& folder, const char* path);
// True when all `size` bytes were written.
bool WriteToFile(FileHandle file, const uint8_t* data, int32_t size);
// Failures are ignored: the times are a courtesy, the data is what counts.
void SetFileTimes(FileHandle file, const EntryTimes& times);
void CloseFile(FileHandle file);
void ApplyFileAttributes(const OutputFolder& folder, const char* path, uint32_t attributes);

// An exact-length read from an open file; true when all `size` bytes arrived.
bool ReadFromSource(FileHandle source, void* buffer, int32_t size);
void CloseSource(FileHandle source);


}  // namespace platform
