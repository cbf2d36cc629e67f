// The run-length stage's stream mode: the mode byte 3, then the next piece of the one zstd frame
// that a package's stream chunks hold between them, in package order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/chunk_form.h"
#include "codec/content_block.h"
#include "codec/frame_header.h"

struct ZSTD_DCtx_s;

// The largest window a stream may ask for: what one extraction holds beside its buffers.
inline constexpr uint64_t MAX_STREAM_WINDOW = uint64_t{1} << 27;

// A stream's frame header: what every frame chunk's header must be (codec/frame_header.h).
using StreamFrameHeader = FrameHeader;

// Reads the frame header at the start of `in`. False unless it is wholly there, has the current
// magic, declares its content size (1 to 2^31 - 1 bytes, what a package's files may add up to),
// has no dictionary id and no checksum (the package's integrity record covers it), and asks for
// a window of at most MAX_STREAM_WINDOW.
bool ReadStreamFrameHeader(const uint8_t* in, size_t length, StreamFrameHeader& header);

class StreamDecoder {
  public:
    StreamDecoder() = default;
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Decodes the next piece of the frame, `length` bytes at `in`, into `out` (room for
    // `capacity` bytes, not overlapping `in`). The first piece starts with the frame header;
    // every piece holds whole blocks, so that it decodes to all its bytes with what came before
    // it; the piece with the frame's last block ends with it. Returns the decoded length, or -1
    // for anything else (and for every later piece): a piece that cuts a block, a frame that
    // ends early or runs on past its content size, a piece after the frame ended, a piece that
    // decodes to nothing or to more than the capacity, a window above the limit.
    int32_t Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity);

    // The same, but the decoded bytes are left where the decoder has them: `*decoded` points at
    // them, in `out` or in the decoder's own copy of the frame's content, valid until the next
    // call or the decoder's end. Saves the copy out of the history the decoder keeps.
    int32_t Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity,
                   const uint8_t** decoded);

    // Whether a frame has begun and not ended: a chunk of any other mode then fails, and so
    // does the package's end.
    bool Open() const { return state_ == State::open; }

    // Whether a stream piece has come at all, whatever became of it.
    bool Begun() const { return state_ != State::before; }

    // A chunk of another mode came while the frame was open: every later piece fails.
    void Break() { state_ = State::broken; }

  private:
    enum class State { before, open, ended, broken };

    int32_t Fail() {
        state_ = State::broken;
        return -1;
    }
    bool Begin(const uint8_t* in, size_t length, size_t& at);
    bool HoldWhole(uint64_t content);
    int32_t Inflate(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity, bool& ended);
    int32_t InflateWhole(const uint8_t* in, size_t length, bool& ended);

    // Kept for the whole package: its window is the stream's history.
    ZSTD_DCtx_s* context_ = nullptr;
    State state_ = State::before;
    uint64_t remaining_ = 0;  // content the frame has still to give
    // When the window holds the whole content anyway, the frame decodes straight into one block
    // of its content size, which is then the history: the library keeps no window of its own
    // and nothing is copied out of one. Null: the library's window, copied out piece by piece.
    std::unique_ptr<uint8_t[], ContentBlockFree> whole_;
    size_t whole_size_ = 0;
    size_t whole_done_ = 0;  // bytes of whole_ decoded so far
};
