// Steps through a plain package's chunk bodies in the order the extraction engine reads them,
// without decoding any: where each body lies and how long it is. It stops at the first thing the
// engine would stop at on reading alone (a bad header, a length past the end or above the chunk
// limit); what the engine checks beyond that is its own business.
#pragma once

#include <cstdint>
#include <span>

#include "package/package_cursor.h"

struct ChunkRef {
    int64_t offset = 0;  // of the body, from the package's start
    int32_t length = 0;
};

class ChunkWalker {
  public:
    // `package` holds the bytes that really lie at the package's start.
    explicit ChunkWalker(std::span<const uint8_t> package);

    // False when the header is not one the engine would extract chunks from.
    bool ok() const { return block_size_ != 0; }
    int32_t block_size() const { return block_size_; }
    // The chunk limit B + 16, which the engine decodes with.
    int32_t capacity() const;

    // The next chunk body, or false when there is none left to walk to.
    bool Next(ChunkRef& chunk);

  private:
    PackageCursor in_{nullptr, 0};  // up to L + 24
    int32_t block_size_ = 0;
    bool in_chunks_ = false;
    bool done_ = false;
};
