// Helpers shared by the package tests: hand-made packages, a scratch folder, a view of what
// the engine left on disk, and a recorder of progress posts. Names are Shift-JIS bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/platform_handles.h"
#include "package/progress_listener.h"

// Builds packages byte by byte, so that tests can also write what no writer would.
class PackageBuilder {
  public:
    explicit PackageBuilder(int32_t block_size = MIN_BLOCK_SIZE);

    PackageBuilder& Entry(const std::string& name, int32_t size,
                          uint32_t attributes = ATTRIBUTE_ARCHIVE, EntryTimes times = {});
    PackageBuilder& Chunk(const std::vector<uint8_t>& body);  // length, then body
    PackageBuilder& StoredChunk(const std::string& data);     // a body needing no encoder
    PackageBuilder& Terminator(int32_t value = 0);
    // An entry whose data fits in stored chunks of at most one block each.
    PackageBuilder& StoredFile(const std::string& name, const std::string& data,
                               uint32_t attributes = ATTRIBUTE_ARCHIVE, EntryTimes times = {});
    PackageBuilder& Raw(const std::vector<uint8_t>& bytes);
    PackageBuilder& I32(int32_t value);

    // Adds the end byte and fills in L from the length.
    std::vector<uint8_t> Finish() const;
    // As Finish, but without the end byte.
    std::vector<uint8_t> Unterminated() const;

    int32_t block_size() const { return block_size_; }
    size_t size() const { return bytes_.size(); }

  private:
    int32_t block_size_;
    std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> StoredBody(const std::string& data);
void PutI32(std::vector<uint8_t>& bytes, size_t offset, int32_t value);
std::string Sjis(const char* utf8);  // UTF-8 literal to Shift-JIS bytes (test input only)

struct FileFacts {
    bool exists = false;
    std::string bytes;
    bool read_only = false;
    bool hidden = false;  // only seen on Windows
    FileTime last_write = 0;
    FileTime last_access = 0;
    FileTime creation = 0;  // only on Windows
};

// A fresh folder `root` holding the destination folder `dest`; both removed at the end, with
// whatever an extraction left in them.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& dest() const { return dest_; }  // in the form Extract takes
    const std::string& root() const { return root_; }
    FileFacts Facts(const std::string& sjis_name) const;
    std::vector<std::string> DestEntries() const;  // as the system lists them
    std::vector<std::string> RootEntries() const;
    void PutFile(const std::string& sjis_name, const std::string& bytes) const;
    void Empty() const;  // removes whatever lies in dest
    FileHandle OpenForReading(const std::string& sjis_name) const;

  private:
    std::string root_;
    std::string dest_;
};

// Whether the file system under the tests records a creation time that can be set (Windows
// does; Wine on a Linux file system does not).
bool SystemKeepsCreationTimes();

#ifdef _WIN32
// A UTF-8 path (such as `dest`) in the form the W functions take.
std::wstring WidePath(const std::string& utf8);
#endif

struct ProgressPost {
    uint32_t message;
    int64_t done;
    int64_t total;
};

// Receives what the engine posts: a listener here, a message-only window on Windows.
class ProgressRecorder {
  public:
    ProgressRecorder();
    ~ProgressRecorder();
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    ProgressListener* target();
    std::vector<ProgressPost> Collect();  // posts so far, in order

  private:
    struct Impl;
    Impl* impl_;
};
