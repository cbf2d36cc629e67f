// Encodes one piece of a file as a chunk whose run-length stage holds one zstd frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ZSTD_CCtx_s;

// The levels `--level` takes for frames.
constexpr int MIN_FRAME_LEVEL = 1;
constexpr int MAX_FRAME_LEVEL = 22;

class FrameEncoder {
  public:
    explicit FrameEncoder(int level) : level_(level) {}
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    // The chunk body for `piece` (1 to `block_size` bytes): the declared length, the identity
    // code (one group of eight-bit codes, which the decoder passes over), the mode byte and the
    // frame. Checked by decoding it. Empty for an empty piece or one over a block, and when the
    // library fails or the body would be longer than the chunk limit: the caller then writes
    // the piece the classic way. Deterministic for one build of the library: equal input, equal
    // output.
    std::vector<uint8_t> Encode(const uint8_t* piece, size_t size, int32_t block_size);

  private:
    int level_;
    ZSTD_CCtx_s* context_ = nullptr;  // kept from piece to piece; one per thread
};

// The version of the zstd library this build reads and writes frames with.
const char* FrameLibraryVersion();
