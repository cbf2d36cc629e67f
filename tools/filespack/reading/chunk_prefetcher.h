// Decodes a package's chunks on a few threads ahead of the extraction engine, which still reads
// the package front to back and writes every file itself, in order. Stream chunks continue one
// another, so they are decoded nowhere but on the engine's thread, in order: from the first
// chunk a thread finds to be one, every chunk is. The chunks in flight are
// bounded by a window of two per thread, each in its own buffer of block size + 512, so memory
// grows with the threads and the block size, never with the package.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "codec/chunk_decoder.h"
#include "package/chunk_source.h"
#include "tools/filespack/reading/chunk_walker.h"

class ChunkPrefetcher final : public ChunkSource {
  public:
    // `package` must outlive the prefetcher; `threads` decoding threads (at least 1).
    ChunkPrefetcher(std::span<const uint8_t> package, int threads);
    ~ChunkPrefetcher();
    ChunkPrefetcher(const ChunkPrefetcher&) = delete;
    ChunkPrefetcher& operator=(const ChunkPrefetcher&) = delete;

    int32_t DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                         const uint8_t** decoded) override;
    bool StreamOpen() const override { return stream_open_; }

    struct Counters {
        int window = 0;       // chunks that may be in flight, the one handed over included
        int64_t buffers = 0;  // decode buffers allocated, the engine's fallback included
        int64_t peak_in_flight = 0;
        int64_t decoded_ahead = 0;  // chunks the threads decoded
        int64_t handed_over = 0;    // of those, the ones the engine asked for
        int64_t decoded_here = 0;   // chunks decoded on the engine's thread (the walk disagreed)
    };
    Counters counters() const;

  private:
    struct Slot {
        std::unique_ptr<uint8_t[]> buffer;
        ChunkRef chunk;
        int32_t result = 0;
        bool ready = false;
        bool after_stream = false;  // decoded by a decoder that had met a stream chunk
    };

    void Work();
    bool MayStartOne() const;
    int32_t DecodeHere(int64_t offset, int32_t length, int32_t capacity, const uint8_t** decoded);

    std::span<const uint8_t> package_;
    ChunkWalker walker_;       // guarded by mutex_
    size_t buffer_size_ = 0;   // block size + 512
    std::vector<Slot> slots_;  // chunk i lives in slot i % size while in flight
    mutable std::mutex mutex_;
    std::condition_variable work_wanted_;  // a slot came free, or stop
    std::condition_variable work_done_;    // a chunk is ready, or the walk ended
    int64_t started_ = 0;                  // chunks handed to the threads, in package order
    int64_t finished_ = 0;                 // chunks the engine is done with
    bool holding_ = false;                 // the engine holds chunk finished_
    bool walk_ended_ = false;
    bool stop_ = false;
    bool disagreed_ = false;  // the engine asked for a chunk the walk did not predict
    Counters counters_;
    std::unique_ptr<uint8_t[]> own_buffer_;  // for chunks decoded on the engine's thread
    size_t own_buffer_size_ = 0;
    ChunkDecoder own_decoder_;
    bool stream_open_ = false;  // after the last chunk handed over; the engine's thread only
    std::vector<std::thread> threads_;
};
