// Writes plain packages: each file cut into pieces of at most the block size, each piece one
// encoded chunk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/package_format.h"

class StreamEncoder;

// How chunks are encoded. Classic chunks are read by every reader of the format; frame chunks
// (run-length mode 2) and stream chunks (mode 3) only by readers that know that mode, and are
// refused cleanly by the others.
enum class ChunkMethod { classic, zstd, stream };

// The default level of frame chunks.
constexpr int DEFAULT_FRAME_LEVEL = 19;
// The default level of stream chunks.
constexpr int DEFAULT_STREAM_LEVEL = 18;

// The default level of a method (classic has none; it gets the frames' for the record).
int DefaultLevel(ChunkMethod method);

// The block size a package of `total` bytes of files gets when none is asked for. Classic: the
// format's usual one. Frames: the largest the format allows, which makes the smallest products,
// but small enough that the program's bar, which moves once per chunk, takes some steps.
int32_t DefaultBlockSize(ChunkMethod method, int64_t total);

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
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Whether Finish ends the package with an integrity record (the default). Without one the
    // package is byte for byte what a writer of the plain format makes.
    void SetIntegrityRecord(bool on) { integrity_record_ = on; }

    // Whether every file is cut into pieces of exactly the block size (the last holding the rest)
    // instead of where the data makes the package smallest. Faster to write, a little larger.
    void SetFixedPieces(bool on) { fixed_pieces_ = on; }

    // Frame chunks at `level` (1 to 22), cut in fixed pieces of the block size; a piece that a
    // frame would not make smaller than the classic encoding is written classic, so no file
    // grows for the method. Stream chunks at `level` (1 to 22): one zstd stream through every
    // file, in pieces a little under the block size, which needs the files' total first
    // (SetStreamTotal). Classic (the default) ignores the level.
    void SetMethod(ChunkMethod method, int level) {
        method_ = method;
        level_ = level;
    }

    // The bytes the files of a stream package add up to: the frame declares it in its header.
    // Files that add up to anything else fail.
    void SetStreamTotal(uint64_t total) { stream_total_ = total; }

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
    bool WriteFrameStretch(const uint8_t* data, size_t size);
    bool WriteStreamStretch(const uint8_t* data, size_t size);
    bool WriteBodies(const std::vector<std::vector<uint8_t>>& bodies,
                     const std::vector<size_t>& order);
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
    ChunkMethod method_ = ChunkMethod::classic;
    int level_ = DEFAULT_FRAME_LEVEL;
    uint64_t stream_total_ = 0;
    std::unique_ptr<StreamEncoder> stream_;  // from the first stream piece to the package's end
    std::fpos_t start_{};
    std::fpos_t length_field_{};
    std::fpos_t digest_field_{};
    int64_t size_total_ = 0;
    std::string error_;
};
