#include "codec/stream_encode.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getCParams: the level's own table
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int kSmallestWindowLog = 10;
constexpr int kLargestWindowLog = 27;
static_assert(MAX_STREAM_WINDOW == uint64_t{1} << kLargestWindowLog);
// A binary tree of 2^26 entries (256 MiB) reaches back 32 MiB.
constexpr int kLargestTreeLog = 26;
constexpr int kSmallestLdmHashLog = 6;
constexpr size_t kLibraryBlock = size_t{1} << 17;
// The frame header at its longest, one empty last block, and room to spare.
constexpr size_t kFrameOverhead = 32;
constexpr uint64_t kLargestTotal = 0x7FFFFFFF;

}  // namespace

int StreamWindowLog(uint64_t total) {
    int log = kSmallestWindowLog;
    while (log < kLargestWindowLog && (uint64_t{1} << log) < total) ++log;
    return log;
}

// The level's own table, for the package's size, with two changes that the whole package being
// one stream asks for: the window holds the package, and a binary tree (the levels that search
// one) reaches back over all of it, up to kLargestTreeLog, so that a file finds the like files
// anywhere before it rather than only in the last few MiB (text 1.5 % smaller at level 18, for
// a quarter more time). Long-distance matching is on with the library's own settings for the
// window, written out so that they cannot drift.
StreamParameters ChooseStreamParameters(int level, uint64_t total) {
    const ZSTD_compressionParameters table = ZSTD_getCParams(level, total, 0);
    StreamParameters p;
    p.window_log = StreamWindowLog(total);
    p.chain_log = static_cast<int>(table.chainLog);
    p.hash_log = static_cast<int>(table.hashLog);
    p.search_log = static_cast<int>(table.searchLog);
    p.min_match = static_cast<int>(table.minMatch);
    p.target_length = static_cast<int>(table.targetLength);
    p.strategy = static_cast<int>(table.strategy);
    if (table.strategy >= ZSTD_btlazy2) {
        p.chain_log = std::max(p.chain_log, std::min(p.window_log + 1, kLargestTreeLog));
    }
    // The library picks this search by the processor it was built for (with SIMD above a 16 KiB
    // window); picked here as it does with SIMD, every build finds the same matches.
    p.row_match_finder = p.window_log > 14;
    p.ldm_hash_log = std::max(kSmallestLdmHashLog, p.window_log - 7);
    p.ldm_min_match = 64;
    p.ldm_bucket_size_log = 3;
    p.ldm_hash_rate_log = p.window_log - p.ldm_hash_log;
    return p;
}

size_t StreamPieceLimit(int32_t block_size) {
    const auto block = static_cast<size_t>(block_size);
    const size_t overhead = CHUNK_HEAD_SIZE + kFrameOverhead + 3 * (block / kLibraryBlock + 1);
    return block + CHUNK_CAPACITY_SLACK > overhead ? block + CHUNK_CAPACITY_SLACK - overhead : 0;
}

StreamEncoder::StreamEncoder(int level, uint64_t total, int32_t block_size)
    : level_(level), total_(total), remaining_(total), block_size_(block_size) {}

StreamEncoder::~StreamEncoder() {
    ZSTD_freeCCtx(context_);
}

// Every parameter that shapes the bytes is set here, none left to the library's defaults for
// the input's size: the frame the reader accepts (content size in the header, no checksum, no
// dictionary id), the window that holds the whole package up to the limit, long-distance
// matching for repeats further apart than the level's own search reaches, and no worker threads,
// so that the output depends on nothing but the input.
bool StreamEncoder::Configure() {
    auto set = [this](ZSTD_cParameter parameter, int value) {
        return !ZSTD_isError(ZSTD_CCtx_setParameter(context_, parameter, value));
    };
    const StreamParameters p = ChooseStreamParameters(level_, total_);
    return !ZSTD_isError(ZSTD_CCtx_reset(context_, ZSTD_reset_session_and_parameters)) &&
           set(ZSTD_c_nbWorkers, 0) && set(ZSTD_c_compressionLevel, level_) &&
           set(ZSTD_c_windowLog, p.window_log) && set(ZSTD_c_chainLog, p.chain_log) &&
           set(ZSTD_c_hashLog, p.hash_log) && set(ZSTD_c_searchLog, p.search_log) &&
           set(ZSTD_c_minMatch, p.min_match) && set(ZSTD_c_targetLength, p.target_length) &&
           set(ZSTD_c_strategy, p.strategy) &&
           set(ZSTD_c_useRowMatchFinder, p.row_match_finder ? ZSTD_ps_enable : ZSTD_ps_disable) &&
           set(ZSTD_c_enableLongDistanceMatching, 1) && set(ZSTD_c_ldmHashLog, p.ldm_hash_log) &&
           set(ZSTD_c_ldmMinMatch, p.ldm_min_match) &&
           set(ZSTD_c_ldmBucketSizeLog, p.ldm_bucket_size_log) &&
           set(ZSTD_c_ldmHashRateLog, p.ldm_hash_rate_log) && set(ZSTD_c_contentSizeFlag, 1) &&
           set(ZSTD_c_checksumFlag, 0) && set(ZSTD_c_dictIDFlag, 0) &&
           !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context_, total_));
}

std::vector<uint8_t> StreamEncoder::Encode(const uint8_t* piece, size_t size) {
    if (broken_ || piece == nullptr || size == 0 || size > StreamPieceLimit(block_size_) ||
        size > remaining_ || total_ == 0 || total_ > kLargestTotal) {
        broken_ = true;
        return {};
    }
    if (context_ == nullptr) {
        context_ = ZSTD_createCCtx();
        if (context_ == nullptr || !Configure()) {
            broken_ = true;
            return {};
        }
    }
    const bool last = size == remaining_;
    const ZSTD_EndDirective directive = last ? ZSTD_e_end : ZSTD_e_flush;
    std::vector<uint8_t> body(CHUNK_HEAD_SIZE + ZSTD_compressBound(size) + kFrameOverhead);
    ZSTD_inBuffer input{piece, size, 0};
    ZSTD_outBuffer output{body.data() + CHUNK_HEAD_SIZE, body.size() - CHUNK_HEAD_SIZE, 0};
    for (;;) {
        const size_t left = ZSTD_compressStream2(context_, &output, &input, directive);
        if (ZSTD_isError(left)) {
            broken_ = true;
            return {};
        }
        if (left == 0 && input.pos == input.size) break;
        if (output.pos == output.size) body.resize(body.size() * 2);
        output.dst = body.data() + CHUNK_HEAD_SIZE;
        output.size = body.size() - CHUNK_HEAD_SIZE;
    }
    body.resize(CHUNK_HEAD_SIZE + output.pos);
    PutFlatHead(body.data(), RUN_LENGTH_STREAM, output.pos);
    remaining_ -= size;
    if (!Checked(body, piece, size)) {
        broken_ = true;
        return {};
    }
    return body;
}

// A body longer than the chunk limit, or one that does not decode to its piece after the
// stream so far, would be a broken package.
bool StreamEncoder::Checked(const std::vector<uint8_t>& body, const uint8_t* piece, size_t size) {
    const auto capacity = static_cast<size_t>(block_size_) + CHUNK_CAPACITY_SLACK;
    if (body.size() > capacity) return false;
    if (!check_buffer_) {
        check_buffer_.reset(new (std::nothrow) uint8_t[capacity + CHUNK_BUFFER_SLACK]);
        if (!check_buffer_) return false;
    }
    std::memcpy(check_buffer_.get(), body.data(), body.size());
    const int32_t decoded = check_.Decode(check_buffer_.get(), static_cast<int32_t>(body.size()),
                                          static_cast<int32_t>(capacity));
    return decoded > 0 && static_cast<size_t>(decoded) == size &&
           std::memcmp(check_buffer_.get(), piece, size) == 0 &&
           check_.StreamOpen() == (remaining_ != 0);
}
