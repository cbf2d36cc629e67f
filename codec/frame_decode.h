// The run-length stage's frame mode: the mode byte 2 followed by one zstd frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/chunk_form.h"

struct ZSTD_DCtx_s;

class FrameDecoder {
  public:
    FrameDecoder() = default;
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Decodes the frame of `length` bytes at `in` into `out`, which has room for `capacity`
    // bytes and must not overlap it. Returns the decoded length, or -1 for anything but exactly
    // one frame of the kind the writer makes (see FrameContentSize) that decodes to its content
    // size, or when no decoding context can be had.
    int32_t Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity);

  private:
    // Kept from chunk to chunk: making one costs a large block from the heap each time.
    ZSTD_DCtx_s* context_ = nullptr;
};

// The content size a frame declares, from its header, or -1 unless the frame has the current
// magic, declares its content size (1 to `capacity` bytes), and has no dictionary, no checksum,
// and no window larger than `capacity`. The library reads other frames too (skippable ones,
// legacy formats by build), so this check, and not the library, decides what a package may hold:
// every build of the reader then accepts the same chunks.
int64_t FrameContentSize(const uint8_t* in, size_t length, int32_t capacity);
