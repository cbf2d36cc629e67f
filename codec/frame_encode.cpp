#include "codec/frame_encode.h"

#include <zstd.h>

#include <cstring>
#include <memory>
#include <new>

#include "codec/chunk_decoder.h"

namespace {

constexpr auto kCapacitySlack = static_cast<size_t>(CHUNK_CAPACITY_SLACK);
constexpr auto kBufferSlack = static_cast<size_t>(CHUNK_BUFFER_SLACK);
constexpr size_t kBodyHead = CHUNK_HEAD_SIZE;

// The frame the reader accepts: content size in the header, no checksum (the package's integrity
// record covers it), no dictionary id.
bool Configure(ZSTD_CCtx* context, int level) {
    return !ZSTD_isError(ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0)) &&
           !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_dictIDFlag, 0));
}

}  // namespace

FrameEncoder::~FrameEncoder() {
    ZSTD_freeCCtx(context_);
}

std::vector<uint8_t> FrameEncoder::Encode(const uint8_t* piece, size_t size, int32_t block_size) {
    if (piece == nullptr || size == 0 || block_size <= 0 ||
        size > static_cast<size_t>(block_size)) {
        return {};
    }
    if (context_ == nullptr) context_ = ZSTD_createCCtx();
    if (context_ == nullptr || !Configure(context_, level_)) return {};

    const size_t capacity = static_cast<size_t>(block_size) + kCapacitySlack;
    std::vector<uint8_t> body(kBodyHead + ZSTD_compressBound(size));
    const size_t frame = ZSTD_compress2(context_, body.data() + kBodyHead,
                                        body.size() - kBodyHead, piece, size);
    // The entropy stage's output (mode byte and frame) must fit the capacity too.
    if (ZSTD_isError(frame) || kBodyHead + frame > capacity || frame + 1 > capacity) return {};
    body.resize(kBodyHead + frame);
    PutFlatHead(body.data(), RUN_LENGTH_FRAME, frame);

    // A body that does not decode to the piece would be a broken package.
    std::unique_ptr<uint8_t[]> check(new (std::nothrow) uint8_t[capacity + kBufferSlack]);
    if (!check) return {};
    std::memcpy(check.get(), body.data(), body.size());
    const int32_t decoded = ChunkDecoder().Decode(check.get(), static_cast<int32_t>(body.size()),
                                                  static_cast<int32_t>(capacity));
    if (decoded < 0 || static_cast<size_t>(decoded) != size ||
        std::memcmp(check.get(), piece, size) != 0) {
        return {};
    }
    return body;
}

const char* FrameLibraryVersion() {
    return ZSTD_versionString();
}
