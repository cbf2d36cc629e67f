#include "tools/filespack/reading/chunk_prefetcher.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "package/package_format.h"

ChunkPrefetcher::ChunkPrefetcher(std::span<const uint8_t> package, int threads)
    : package_(package), walker_(package) {
    if (!walker_.ok() || threads < 1) {
        walk_ended_ = true;
        return;
    }
    buffer_size_ = static_cast<size_t>(walker_.block_size()) + BUFFER_SLACK;
    const size_t window = static_cast<size_t>(threads) * 2;
    slots_.resize(window);
    for (size_t i = 0; i < window; ++i) {
        slots_[i].buffer.reset(new (std::nothrow) uint8_t[buffer_size_]);
        // Short of memory, a smaller window still works.
        if (slots_[i].buffer == nullptr) {
            slots_.resize(i);
            break;
        }
    }
    counters_.window = static_cast<int>(slots_.size());
    counters_.buffers = static_cast<int64_t>(slots_.size());
    const size_t workers = std::min(static_cast<size_t>(threads), slots_.size());
    if (workers == 0) {
        walk_ended_ = true;
        return;
    }
    threads_.reserve(workers);
    for (size_t i = 0; i < workers; ++i) {
        // Fewer threads than asked for still work; none leaves every chunk to the engine's.
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads_.empty()) walk_ended_ = true;
}

ChunkPrefetcher::~ChunkPrefetcher() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_wanted_.notify_all();
    for (auto& thread : threads_) thread.join();
}

ChunkPrefetcher::Counters ChunkPrefetcher::counters() const {
    const std::lock_guard lock(mutex_);
    return counters_;
}

bool ChunkPrefetcher::MayStartOne() const {
    return !walk_ended_ && started_ - finished_ < static_cast<int64_t>(slots_.size());
}

void ChunkPrefetcher::Work() {
    ChunkDecoder decoder;
    const int32_t capacity = walker_.capacity();
    std::unique_lock lock(mutex_);
    for (;;) {
        work_wanted_.wait(lock, [this] { return stop_ || walk_ended_ || MayStartOne(); });
        if (stop_ || walk_ended_) return;
        ChunkRef chunk;
        if (!walker_.Next(chunk)) {
            walk_ended_ = true;
            work_done_.notify_all();
            work_wanted_.notify_all();
            return;
        }
        Slot& slot = slots_[static_cast<size_t>(started_ % static_cast<int64_t>(slots_.size()))];
        slot.chunk = chunk;
        slot.ready = false;
        ++started_;
        counters_.peak_in_flight = std::max(counters_.peak_in_flight, started_ - finished_);
        lock.unlock();

        // The slot is this thread's alone until it is marked ready.
        uint8_t* buffer = slot.buffer.get();
        std::memcpy(buffer, package_.data() + chunk.offset, static_cast<size_t>(chunk.length));
        const int32_t result = decoder.Decode(buffer, chunk.length, capacity);

        lock.lock();
        slot.result = result;
        slot.after_stream = decoder.StreamBegun();
        slot.ready = true;
        ++counters_.decoded_ahead;
        work_done_.notify_all();
    }
}

int32_t ChunkPrefetcher::DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                                      const uint8_t** decoded) {
    {
        std::unique_lock lock(mutex_);
        if (holding_) {
            holding_ = false;
            ++finished_;
            work_wanted_.notify_one();
        }
        if (!disagreed_) {
            work_done_.wait(lock, [this] { return finished_ < started_ || walk_ended_; });
            if (finished_ < started_) {
                Slot& slot =
                    slots_[static_cast<size_t>(finished_ % static_cast<int64_t>(slots_.size()))];
                const bool predicted = slot.chunk.offset == offset &&
                                       slot.chunk.length == length &&
                                       capacity == walker_.capacity();
                if (predicted) work_done_.wait(lock, [&slot] { return slot.ready; });
                if (predicted && !slot.after_stream) {
                    holding_ = true;
                    stream_open_ = false;
                    ++counters_.handed_over;
                    *decoded = slot.buffer.get();
                    return slot.result;
                }
            }
            // The engine went where the walk did not lead, or a stream began: from here on it
            // is served here, in order, and nothing decoded ahead is used.
            disagreed_ = true;
            stop_ = true;
            work_wanted_.notify_all();
        }
    }
    return DecodeHere(offset, length, capacity, decoded);
}

int32_t ChunkPrefetcher::DecodeHere(int64_t offset, int32_t length, int32_t capacity,
                                    const uint8_t** decoded) {
    if (offset < 0 || length <= 0 || capacity <= 0) return 0;
    if (static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > package_.size()) return 0;
    // The decoder needs max(length, capacity) + 1 bytes; the engine's own buffer has more.
    const size_t needed = static_cast<size_t>(std::max(length, capacity)) + BUFFER_SLACK;
    if (own_buffer_size_ < needed) {
        own_buffer_.reset(new (std::nothrow) uint8_t[needed]);
        own_buffer_size_ = own_buffer_ == nullptr ? 0 : needed;
        if (own_buffer_ == nullptr) return 0;
        const std::lock_guard lock(mutex_);
        ++counters_.buffers;
    }
    std::memcpy(own_buffer_.get(), package_.data() + offset, static_cast<size_t>(length));
    const int32_t result = own_decoder_.Decode(own_buffer_.get(), length, capacity, decoded);
    stream_open_ = own_decoder_.StreamOpen();
    {
        const std::lock_guard lock(mutex_);
        ++counters_.decoded_here;
    }
    return result;
}
