// Writes plain packages: each file cut into pieces of at most the block size, each piece one
// encoded chunk.
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
    // `out` must be seekable and readable (the header's length field is written last, and the
    // integrity record's digest is taken by reading the package back): open it "w+b".
    PackageWriter(std::FILE* out, int32_t block_size);

    // Whether Finish ends the package with an integrity record (the default). Without one the
    // package is byte for byte what a writer of the plain format makes.
    void SetIntegrityRecord(bool on) { integrity_record_ = on; }

    // Whether every file is cut into pieces of exactly the block size (the last holding the rest)
    // instead of where the data makes the package smallest. Faster to write, a little larger.
    void SetFixedPieces(bool on) { fixed_pieces_ = on; }

    // Reads `size` bytes through `read` (called with a buffer and a count, returns the count
    // delivered) and stores them as one entry. Returns false on a read or write failure, and
    // for a name or size the package cannot carry (nothing is written for such an entry).
    bool AddFile(const PackageEntryHead& head, uint64_t size,
                 const std::function<size_t(uint8_t*, size_t)>& read);
    bool AddFile(const PackageEntryHead& head, const uint8_t* data, size_t size);

    // Writes the end byte, the integrity record and the header's length. Returns false on a write failure, or when
    // the package could never be extracted (its files add up to no bytes, or it is too long).
    bool Finish();

    // Why the last call failed; empty while everything succeeded.
    const std::string& error() const { return error_; }

  private:
    bool Fail(std::string message);
    bool WriteBytes(const void* data, size_t size);
    bool WriteI32(int32_t value);
    bool WriteU32(uint32_t value);
    bool WriteU64(uint64_t value);
    bool WriteHeader();
    bool WriteChunks(uint64_t size, const std::function<size_t(uint8_t*, size_t)>& read);
    bool WriteStretch(const uint8_t* data, size_t size);
    bool PatchLength(uint64_t declared);
    bool SealRecord();

    std::FILE* out_;
    int32_t block_size_;
    uint64_t written_ = 0;
    bool ok_ = true;
    bool header_written_ = false;
    bool finished_ = false;
    bool integrity_record_ = true;
    bool fixed_pieces_ = false;
    std::fpos_t start_{};
    std::fpos_t length_field_{};
    std::fpos_t digest_field_{};
    int64_t size_total_ = 0;
    std::string error_;
};
