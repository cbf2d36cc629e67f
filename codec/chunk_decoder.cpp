#include "codec/chunk_decoder.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"

namespace {

constexpr size_t kScratchSlack = 16;

// A stored chunk: the identity code (one group, eight bits) and the stored mode. Its data is the
// body from offset 7 on, so the two stages come down to one move.
bool IsStored(const uint8_t* body, int32_t length) {
    return length >= 7 && length <= INT32_MAX / 8 && body[4] == 1 && body[5] == 8 && body[6] == 0;
}

// A frame behind the identity code, the form the writer gives it: the entropy stage would only
// copy it, so the frame is decoded straight from the body.
bool IsFlatFrame(const uint8_t* body, int32_t length) {
    return length <= INT32_MAX / 8 && IsFrameChunk(body, length);
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
    std::memmove(buffer, buffer + 7, static_cast<size_t>(declared - 1));
    return declared - 1;
}

}  // namespace

int32_t ChunkDecoder::Decode(uint8_t* buffer, int32_t length, int32_t capacity) {
    if (buffer != nullptr && IsStored(buffer, length))
        return DecodeStored(buffer, length, capacity);

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
        return RunLengthDecode(buffer, produced, capacity);
    }
    if (IsFlatFrame(buffer, length)) {
        // As the entropy stage would judge the declared length; the frame is the rest of its
        // output, moved aside so that it decodes into the buffer.
        const int32_t declared = Declared(buffer);
        if (declared > capacity) return 0;
        if (declared <= 0) return declared;
        if (int64_t{6} + declared > length) return 0;
        const auto frame = static_cast<size_t>(declared - 1);
        std::memcpy(scratch, buffer + 7, frame);
        return frames_.Decode(scratch, frame, buffer, capacity);
    }
    const int32_t produced = EntropyDecodeInto(buffer, length, capacity, scratch, scratch + half);
    if (produced <= 0) return produced;
    return RunLengthDecodeInto(scratch, produced, capacity, buffer, &frames_);
}
