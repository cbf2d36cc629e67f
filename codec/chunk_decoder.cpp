#include "codec/chunk_decoder.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"

namespace {

constexpr auto kScratchSlack = static_cast<size_t>(CHUNK_CAPACITY_SLACK);

// The mode of a body behind the identity code, whose run-length stream the entropy stage would
// only copy: a stored chunk comes down to one move, and a frame or a stream piece is decoded
// straight from the body. -1 for any other body.
int FlatModeOf(const uint8_t* body, int32_t length) {
    return length <= INT32_MAX / 8 ? FlatMode(body, length) : -1;
}

int32_t Declared(const uint8_t* buffer) {
    return static_cast<int32_t>(
        static_cast<uint32_t>(buffer[0]) | static_cast<uint32_t>(buffer[1]) << 8 |
        static_cast<uint32_t>(buffer[2]) << 16 | static_cast<uint32_t>(buffer[3]) << 24);
}

int32_t DecodeStored(uint8_t* buffer, int32_t length, int32_t capacity) {
    const int32_t declared = Declared(buffer);
    if (declared > capacity) return 0;
    if (declared <= 0) return declared;
    if (int64_t{6} + declared > length) return 0;  // the identity code would read past the body
    std::memmove(buffer, buffer + CHUNK_HEAD_SIZE, static_cast<size_t>(declared - 1));
    return declared - 1;
}

}  // namespace

int32_t ChunkDecoder::Decode(uint8_t* buffer, int32_t length, int32_t capacity) {
    const uint8_t* decoded = buffer;
    const int32_t produced = Decode(buffer, length, capacity, &decoded);
    if (produced > 0 && decoded != buffer) std::memcpy(buffer, decoded, static_cast<size_t>(produced));
    return produced;
}

int32_t ChunkDecoder::Decode(uint8_t* buffer, int32_t length, int32_t capacity,
                             const uint8_t** decoded) {
    *decoded = buffer;
    const int flat = FlatModeOf(buffer, length);
    if (flat >= 0 && flat != RUN_LENGTH_STREAM && stream_.Open()) {
        stream_.Break();
        return -1;
    }
    if (flat == RUN_LENGTH_STORED) return DecodeStored(buffer, length, capacity);

    // The entropy stage decodes from the body into a scratch block and the run-length stage from
    // there back into the buffer: neither stage needs a copy of its input. The block's second
    // half is the entropy stage's working room.
    const size_t half = static_cast<size_t>(capacity) + kScratchSlack;
    // Where size_t has 32 bits, a capacity near 2^31 has no block twice its size: the stages
    // then work in the buffer alone.
    const bool fits = capacity >= 0 && half <= SIZE_MAX / 2;
    if (fits && scratch_size_ < 2 * half) {
        scratch_.reset(new (std::nothrow) uint8_t[2 * half]);
        scratch_size_ = scratch_ ? 2 * half : 0;
    }
    uint8_t* const scratch = fits && scratch_size_ >= 2 * half ? scratch_.get() : nullptr;
    if (scratch == nullptr) {
        const int32_t produced = EntropyDecode(buffer, length, capacity);
        if (produced <= 0) return produced;
        return RunLengthDecodeWithStream(buffer, produced, capacity, &stream_);
    }
    if (flat == RUN_LENGTH_FRAME || flat == RUN_LENGTH_STREAM) {
        // As the entropy stage would judge the declared length; the frame or piece is the rest
        // of its output, moved aside so that it decodes into the buffer.
        const int32_t declared = Declared(buffer);
        if (declared > capacity) return 0;
        if (declared <= 0) return declared;
        if (int64_t{6} + declared > length) return 0;
        const auto rest = static_cast<size_t>(declared - 1);
        // A piece decodes from where it lies, into the scratch block when the stream has no
        // buffer of its own.
        if (flat == RUN_LENGTH_STREAM) {
            return stream_.Decode(buffer + CHUNK_HEAD_SIZE, rest, scratch, capacity, decoded);
        }
        std::memcpy(scratch, buffer + CHUNK_HEAD_SIZE, rest);
        return frames_.Decode(scratch, rest, buffer, capacity);
    }
    const int32_t produced = EntropyDecodeInto(buffer, length, capacity, scratch, scratch + half);
    if (produced <= 0) return produced;
    return RunLengthDecodeInto(scratch, produced, capacity, buffer, &frames_, &stream_);
}
