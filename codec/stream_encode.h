// Encodes a package's files as one zstd stream, cut into chunks: one compression context over
// the whole package, a flush at the end of every piece, the frame's end with the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/chunk_decoder.h"

struct ZSTD_CCtx_s;

// The levels `--level` takes for streams.
constexpr int MIN_STREAM_LEVEL = 1;
constexpr int MAX_STREAM_LEVEL = 22;

// The window a stream of `total` bytes gets: the smallest power of two that holds all of it
// (at least 1 KiB), at most MAX_STREAM_WINDOW. Its base-two logarithm.
int StreamWindowLog(uint64_t total);

// What shapes a stream's bytes besides the level, all of it set explicitly.
struct StreamParameters {
    int window_log = 0;
    int chain_log = 0;
    int hash_log = 0;
    int search_log = 0;
    int min_match = 0;
    int target_length = 0;
    int strategy = 0;
    bool row_match_finder = false;  // the greedy and lazy levels' search
    int ldm_hash_log = 0;
    int ldm_min_match = 0;
    int ldm_bucket_size_log = 0;
    int ldm_hash_rate_log = 0;
};
StreamParameters ChooseStreamParameters(int level, uint64_t total);

// The largest piece a chunk of `block_size` may hold in a stream: a piece the library cannot
// shrink is stored in raw blocks, three bytes of header each, and the first piece carries the
// frame header too, so a piece leaves room for them below the chunk's capacity.
size_t StreamPieceLimit(int32_t block_size);

class StreamEncoder {
  public:
    // A stream of exactly `total` bytes (1 to 2^31 - 1) at `level`, cut into chunks for
    // `block_size`.
    StreamEncoder(int level, uint64_t total, int32_t block_size);
    ~StreamEncoder();
    StreamEncoder(const StreamEncoder&) = delete;
    StreamEncoder& operator=(const StreamEncoder&) = delete;

    // The chunk body for the next `size` bytes of the stream (1 to StreamPieceLimit): the head
    // (declared length, identity code, mode 3) and the stream's bytes for the piece, which
    // decode with what came before to exactly the piece. The piece that brings the stream to
    // its total ends the frame. Each body is checked by decoding it as the engine does. Empty
    // when the library fails, the body would not fit the chunk, the check fails, or the pieces
    // run past the total: the package cannot then be written. Deterministic for one build of
    // the library: equal input, equal output (no worker threads inside the library).
    std::vector<uint8_t> Encode(const uint8_t* piece, size_t size);

    // What the stream still expects; 0 once its frame has ended.
    uint64_t remaining() const { return remaining_; }

  private:
    bool Configure();
    bool Checked(const std::vector<uint8_t>& body, const uint8_t* piece, size_t size);

    int level_;
    uint64_t total_;
    uint64_t remaining_;
    int32_t block_size_;
    bool broken_ = false;
    ZSTD_CCtx_s* context_ = nullptr;
    // The engine's view of the stream so far, for the check.
    ChunkDecoder check_;
    std::unique_ptr<uint8_t[]> check_buffer_;
};
