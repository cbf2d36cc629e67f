#include "codec/stream_decode.h"

// For ZSTD_d_stableOutBuffer, which the pinned library version has (cmake/Zstd.cmake).
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <climits>
#include <cstring>

#include "codec/frame_header.h"

namespace {

constexpr size_t kBlockHeader = 3;
constexpr unsigned kRleBlock = 1;
constexpr unsigned kReservedBlock = 3;
constexpr int kWindowLogLimit = 27;
static_assert(MAX_STREAM_WINDOW == uint64_t{1} << kWindowLogLimit);
constexpr uint64_t kLargestContent = 0x7FFFFFFF;

// Walks the block headers of `in` from `at`: true when the bytes are whole blocks, none of the
// reserved type, and nothing follows a last block. `last` tells whether one was.
bool WholeBlocks(const uint8_t* in, size_t length, size_t at, bool& last) {
    last = false;
    while (at < length) {
        if (last || length - at < kBlockHeader) return false;
        const auto header = static_cast<uint32_t>(FrameLittleEndian(in + at, kBlockHeader));
        at += kBlockHeader;
        last = (header & 1) != 0;
        const unsigned type = (header >> 1) & 3;
        const uint32_t size = header >> 3;
        if (type == kReservedBlock) return false;
        const size_t stored = type == kRleBlock ? 1 : size;
        if (length - at < stored) return false;
        at += stored;
    }
    return true;
}

// Feeds the whole piece through the library. The library's last hint (0: the frame ended), or
// PUMP_FAILED when it refused the bytes or the output had no room for what the piece holds (more
// than the capacity).
constexpr size_t PUMP_FAILED = static_cast<size_t>(-1);
size_t Pump(ZSTD_DCtx* context, ZSTD_inBuffer& input, ZSTD_outBuffer& output) {
    size_t hint = 1;
    while (input.pos < input.size) {
        const size_t in_before = input.pos;
        const size_t out_before = output.pos;
        hint = ZSTD_decompressStream(context, &output, &input);
        if (ZSTD_isError(hint)) return PUMP_FAILED;
        if (hint == 0) break;
        if (input.pos == in_before && output.pos == out_before) return PUMP_FAILED;
    }
    return input.pos == input.size ? hint : PUMP_FAILED;
}

}  // namespace

bool ReadStreamFrameHeader(const uint8_t* in, size_t length, StreamFrameHeader& header) {
    if (!ReadFrameHeader(in, length, header)) return false;
    return header.content != 0 && header.content <= kLargestContent &&
           header.window <= MAX_STREAM_WINDOW;
}

StreamDecoder::~StreamDecoder() {
    ZSTD_freeDCtx(context_);
}

bool StreamDecoder::Begin(const uint8_t* in, size_t length, size_t& at) {
    StreamFrameHeader header;
    if (!ReadStreamFrameHeader(in, length, header)) return false;
    if (context_ == nullptr) context_ = ZSTD_createDCtx();
    if (context_ == nullptr) return false;
    // The library's own limit as well, should it ever read a header otherwise than we do.
    if (ZSTD_isError(ZSTD_DCtx_reset(context_, ZSTD_reset_session_and_parameters)) ||
        ZSTD_isError(ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, kWindowLogLimit))) {
        return false;
    }
    // A window that holds the whole content means a buffer of the content's size either way.
    if (header.content <= header.window) HoldWhole(header.content);
    at = header.size;
    remaining_ = header.content;
    state_ = State::open;
    return true;
}

bool StreamDecoder::HoldWhole(uint64_t content) {
    // Short of memory, the library's own window is tried instead.
    const auto size = static_cast<size_t>(content);
    whole_ = std::unique_ptr<uint8_t[], ContentBlockFree>(AllocateContentBlock(size), ContentBlockFree{size});
    if (whole_ == nullptr) return false;
    if (ZSTD_isError(ZSTD_DCtx_setParameter(context_, ZSTD_d_stableOutBuffer, 1))) {
        whole_.reset();
        return false;
    }
    whole_size_ = size;
    whole_done_ = 0;
    return true;
}

int32_t StreamDecoder::Inflate(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity,
                               bool& ended) {
    ZSTD_inBuffer input{in, length, 0};
    ZSTD_outBuffer output{out, static_cast<size_t>(capacity), 0};
    const size_t hint = Pump(context_, input, output);
    if (hint == PUMP_FAILED) return -1;
    if (output.pos == output.size) {
        // A full output may hide decoded bytes the library still holds: one more is too many.
        uint8_t probe = 0;
        ZSTD_outBuffer one{&probe, 1, 0};
        ZSTD_inBuffer none{nullptr, 0, 0};
        const size_t more = ZSTD_decompressStream(context_, &one, &none);
        if (ZSTD_isError(more) || one.pos != 0) return -1;
    }
    ended = hint == 0;
    return static_cast<int32_t>(output.pos);
}

// The output is the content block itself, handed to the library unchanged at every call as it
// requires: its room is the rest of the content, so a piece is judged against the capacity after.
int32_t StreamDecoder::InflateWhole(const uint8_t* in, size_t length, bool& ended) {
    ZSTD_inBuffer input{in, length, 0};
    ZSTD_outBuffer output{whole_.get(), whole_size_, whole_done_};
    const size_t hint = Pump(context_, input, output);
    if (hint == PUMP_FAILED) return -1;
    const size_t produced = output.pos - whole_done_;
    if (produced > static_cast<size_t>(INT32_MAX)) return -1;
    whole_done_ = output.pos;
    ended = hint == 0;
    return static_cast<int32_t>(produced);
}

int32_t StreamDecoder::Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity) {
    const uint8_t* decoded = out;
    const int32_t produced = Decode(in, length, out, capacity, &decoded);
    if (produced > 0 && decoded != out) std::memcpy(out, decoded, static_cast<size_t>(produced));
    return produced;
}

int32_t StreamDecoder::Decode(const uint8_t* in, size_t length, uint8_t* out, int32_t capacity,
                              const uint8_t** decoded) {
    if (state_ == State::ended || state_ == State::broken) return Fail();
    if (in == nullptr || out == nullptr || capacity <= 0 || length == 0) return Fail();
    size_t at = 0;
    if (state_ == State::before && !Begin(in, length, at)) return Fail();
    bool last = false;
    if (!WholeBlocks(in, length, at, last)) return Fail();

    bool ended = false;
    const uint8_t* const start = whole_ != nullptr ? whole_.get() + whole_done_ : out;
    const int32_t produced = whole_ != nullptr ? InflateWhole(in, length, ended)
                                               : Inflate(in, length, out, capacity, ended);
    if (produced <= 0 || produced > capacity) return Fail();
    if (static_cast<uint64_t>(produced) > remaining_) return Fail();
    remaining_ -= static_cast<uint64_t>(produced);
    // The frame ends with the piece that holds its last block, and with its content.
    if (last != ended || ended != (remaining_ == 0)) return Fail();
    if (ended) state_ = State::ended;
    *decoded = start;
    return produced;
}
