// Which run-length mode a chunk holds, whatever code its entropy stage uses: what decides which
// readers can read a package.
#pragma once

#include <cstdint>
#include <memory>

class ChunkModeReader {
  public:
    // The mode byte of the chunk body of `length` bytes at `body` (RUN_LENGTH_STORED and the
    // others in codec/chunk_form.h, or a value no reader knows), or -1 when its entropy stage
    // does not decode within `capacity`. A body behind the identity code is read at a glance;
    // any other is decoded through the entropy stage into a buffer of this reader's own.
    int Mode(const uint8_t* body, int32_t length, int32_t capacity);

  private:
    std::unique_ptr<uint8_t[]> scratch_;
    int32_t scratch_capacity_ = -1;
};
