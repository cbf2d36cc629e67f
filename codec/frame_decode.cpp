#include "codec/frame_decode.h"

#include <zstd.h>

#include "codec/frame_header.h"

int64_t FrameContentSize(const uint8_t* in, size_t length, int32_t capacity) {
    FrameHeader header;
    if (capacity <= 0 || !ReadFrameHeader(in, length, header)) return -1;
    const auto limit = static_cast<uint64_t>(capacity);
    if (header.content == 0 || header.content > limit || header.window > limit) return -1;
    return static_cast<int64_t>(header.content);
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
