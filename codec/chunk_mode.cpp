#include "codec/chunk_mode.h"

#include <new>

#include "codec/chunk_form.h"
#include "codec/entropy_decode.h"

int ChunkModeReader::Mode(const uint8_t* body, int32_t length, int32_t capacity) {
    if (body == nullptr || length < 1 || capacity < 1) return -1;
    if (HasIdentityCode(body, length)) {
        const int32_t declared = static_cast<int32_t>(
            static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
            static_cast<uint32_t>(body[2]) << 16 | static_cast<uint32_t>(body[3]) << 24);
        const bool whole = declared >= 1 && declared <= capacity && int64_t{6} + declared <= length;
        return whole ? body[6] : -1;
    }
    if (scratch_capacity_ < capacity) {
        scratch_.reset(new (std::nothrow)
                           uint8_t[static_cast<size_t>(capacity) + CHUNK_BUFFER_SLACK]);
        scratch_capacity_ = scratch_ ? capacity : -1;
        if (!scratch_) return -1;
    }
    const int32_t produced = EntropyDecodeInto(body, length, capacity, scratch_.get());
    return produced >= 1 ? scratch_[0] : -1;
}
