// Writes plain packages: each file cut into block-size pieces, each piece one encoded chunk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "package/package_format.h"

struct PackageEntryHead {
    std::string name;  // Shift-JIS bytes, 1 to 255, no folder part
    uint32_t attributes = ATTRIBUTE_ARCHIVE;
    EntryTimes times;
};

class PackageWriter {
public:
    // `out` must be seekable (the header's length field is written last).
    PackageWriter(std::FILE* out, int32_t block_size);

    // Reads `size` bytes through `read` (called with a buffer and a count, returns the count
    // delivered) and stores them as one entry. Returns false on a read or write failure.
    bool AddFile(const PackageEntryHead& head, uint64_t size,
                 const std::function<size_t(uint8_t*, size_t)>& read);
    bool AddFile(const PackageEntryHead& head, const uint8_t* data, size_t size);

    // Writes the end byte and the header's length. Returns false on a write failure.
    bool Finish();

private:
    std::FILE* out_;
    int32_t block_size_;
    uint64_t written_ = 0;
    bool ok_ = true;
};
