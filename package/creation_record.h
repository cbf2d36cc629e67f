// What an extraction made, told as it makes it, so that a caller can take back exactly that
// (the Windows program's clean-up) and nothing a later program put beside it.
#pragma once

#include <cstddef>
#include <cstdint>

class CreationRecord {
  public:
    // `path` is in the form the platform's file calls take (the composed output path, or its
    // first `length` bytes for a folder). Folders come before anything inside them. `identity`
    // is the file system's own number for what was made (the inode, the file id; 0 when
    // unknown), by which a clean-up tells it from something put in its place since.
    virtual void OnFolderCreated(const char* path, size_t length, uint64_t identity) = 0;
    virtual void OnFileCreated(const char* path, uint64_t identity) = 0;

  protected:
    ~CreationRecord() = default;
};
