#include "codec/frame_decode.h"

#include <zstd.h>

namespace {

constexpr uint32_t kFrameMagic = 0xFD2FB528u;

uint64_t LittleEndian(const uint8_t* at, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

}  // namespace

int64_t FrameContentSize(const uint8_t* in, size_t length, int32_t capacity) {
    if (in == nullptr || capacity <= 0 || length < 6) return -1;
    if (LittleEndian(in, 4) != kFrameMagic) return -1;
    const uint8_t descriptor = in[4];
    const unsigned size_flag = descriptor >> 6;
    const bool single_segment = (descriptor & 0x20) != 0;
    const bool reserved = (descriptor & 0x08) != 0;
    const bool checksum = (descriptor & 0x04) != 0;
    const unsigned dictionary = descriptor & 0x03;
    if (reserved || checksum || dictionary != 0) return -1;
    if (size_flag == 0 && !single_segment) return -1;  // no content size

    size_t at = 5;
    if (!single_segment) {
        const uint8_t window = in[at++];
        const unsigned exponent = window >> 3;
        const uint64_t base = uint64_t{1} << (10 + exponent);
        if (base + base / 8 * (window & 7) > static_cast<uint64_t>(capacity)) return -1;
    }
    static constexpr size_t kSizeBytes[4] = {1, 2, 4, 8};
    const size_t size_bytes = kSizeBytes[size_flag];
    if (length - at < size_bytes) return -1;
    uint64_t content = LittleEndian(in + at, size_bytes);
    if (size_bytes == 2) content += 256;
    if (content == 0 || content > static_cast<uint64_t>(capacity)) return -1;
    return static_cast<int64_t>(content);
}

FrameDecoder::~FrameDecoder() {
    ZSTD_freeDCtx(context_);
}

int32_t FrameDecoder::Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity) {
    const int64_t content = FrameContentSize(in, length, capacity);
    if (content < 0 || out == nullptr) return -1;
    // Exactly one frame: nothing may follow it.
    const size_t frame = ZSTD_findFrameCompressedSize(in, length);
    if (ZSTD_isError(frame) || frame != length) return -1;
    if (context_ == nullptr) context_ = ZSTD_createDCtx();
    if (context_ == nullptr) return -1;
    // Room for the declared content only: a frame whose blocks hold more fails.
    const size_t decoded =
        ZSTD_decompressDCtx(context_, out, static_cast<size_t>(content), in, length);
    if (ZSTD_isError(decoded) || decoded != static_cast<size_t>(content)) return -1;
    return static_cast<int32_t>(decoded);
}
