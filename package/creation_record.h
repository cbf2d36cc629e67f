// What an extraction made, told as it makes it, so that a caller can take back exactly that
// (the Windows program's clean-up) and nothing a later program put beside it.
#pragma once

#include <cstddef>

class CreationRecord {
  public:
    // `path` is in the form the platform's file calls take (the composed output path, or its
    // first `length` bytes for a folder). Folders come before anything inside them.
    virtual void OnFolderCreated(const char* path, size_t length) = 0;
    virtual void OnFileCreated(const char* path) = 0;

  protected:
    ~CreationRecord() = default;
};
