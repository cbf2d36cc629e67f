// The chunk pipeline: entropy stage, then run-length stage, in place in the caller's buffer.
//
// How the codec fails, in one place. Every stage returns the number of bytes it produced, so a
// result above 0 is success and anything else a failed chunk; callers test `<= 0` and never
// tell the failures apart, but the values are kept as they have always been:
//   - entropy stage (EntropyDecode, EntropyDecodeInto): 0 for a body that is too short or too
//     long, a declared length above the capacity, or an invalid stream; a declared length of 0
//     or below is handed back as it is (after the code description checked out);
//   - run-length stage (RunLengthDecode, RunLengthDecodeInto): -1 for anything it refuses, 0
//     for a stream that holds no bytes;
//   - stored chunks: 0 for a declared length above the capacity or past the body, the declared
//     length itself when it is 0 or below;
//   - frames (run-length mode 2): -1 for anything the frame check or the library refuses;
//   - stream pieces (run-length mode 3): -1 for anything the stream's checks or the library
//     refuse, and for any chunk of another mode while the stream's frame is open.
// Neither stage ever writes past `capacity` (plus the slack each names) nor reads past `length`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/frame_decode.h"
#include "codec/stream_decode.h"

class ChunkDecoder {
  public:
    ChunkDecoder() = default;
    virtual ~ChunkDecoder() = default;
    ChunkDecoder(const ChunkDecoder&) = delete;
    ChunkDecoder& operator=(const ChunkDecoder&) = delete;

    // Decodes the `length`-byte chunk body at the start of `buffer` into at most `capacity`
    // bytes at the same place. The buffer must hold at least max(length, capacity) + 1 bytes
    // (the run-length stage writes one sentinel byte just past its input).
    // Returns the decoded length (> 0), or a value <= 0 for a failed chunk. Stream chunks must
    // come to one decoder in package order: it carries the stream from chunk to chunk, so one
    // decoder serves one extraction.
    int32_t Decode(uint8_t* buffer, int32_t length, int32_t capacity);

    // The same, but the decoded bytes may be left elsewhere: `*decoded` points at them (at
    // `buffer`, or, for a stream piece, in the decoder's own memory), valid until the next call
    // or the decoder's end. What an engine that writes each chunk as it comes uses: a stream's
    // bytes are not copied out of the history the decoder keeps anyway.
    int32_t Decode(uint8_t* buffer, int32_t length, int32_t capacity, const uint8_t** decoded);

    // Whether a stream's frame has begun and not ended: at the package's end, a stream that
    // runs on.
    bool StreamOpen() const { return stream_.Open(); }

    // Whether a stream chunk has come to this decoder, whatever became of it: from there on,
    // what it decodes depends on the chunks it was given before.
    bool StreamBegun() const { return stream_.Begun(); }

  private:
    // The stages' working block, kept from chunk to chunk: a block of this size is fresh pages
    // from the system each time on Windows (and under Wine), which cost as much as decoding.
    std::unique_ptr<uint8_t[]> scratch_;
    size_t scratch_size_ = 0;
    FrameDecoder frames_;
    StreamDecoder stream_;
};
