// The fast decoding stages against the frozen originals, each stage alone and the whole chunk
// pipeline: same result for every input, same bytes on success.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/entropy_decode.h"
#include "codec/frame_decode.h"
#include "codec/run_length_decode.h"
#include "tests/codec/reference_entropy_decode.h"
#include "tests/codec/reference_pipeline.h"
#include "tests/codec/reference_run_length_decode.h"

namespace {

struct Outcome {
    int32_t result;
    std::vector<uint8_t> buffer;
};

template <typename Stage>
Outcome Run(Stage stage, const uint8_t* body, size_t size, int32_t capacity) {
    Outcome o;
    o.buffer.assign(std::max(size, static_cast<size_t>(capacity)) + 512, 0xA5);
    std::memcpy(o.buffer.data(), body, size);
    o.result = stage(o.buffer.data(), static_cast<int32_t>(size), capacity);
    return o;
}

int32_t Pipeline(uint8_t* buffer, int32_t length, int32_t capacity) {
    return ChunkDecoder().Decode(buffer, length, capacity);
}

template <typename Fast, typename Slow>
void Compare(Fast fast, Slow slow, const uint8_t* body, size_t size, int32_t capacity) {
    const Outcome want = Run(slow, body, size, capacity);
    const Outcome got = Run(fast, body, size, capacity);
    if (got.result != want.result) std::abort();
    if (want.result > 0 &&
        std::memcmp(got.buffer.data(), want.buffer.data(), static_cast<size_t>(want.result)) != 0) {
        std::abort();
    }
}

}  // namespace

// Input: two bytes choosing the capacity, then the chunk body.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 20)) return 0;
    const int32_t capacity = static_cast<int32_t>(data[0] | data[1] << 8) + 1;
    Compare(EntropyDecode, ReferenceEntropyDecode, data + 2, size - 2, capacity);
    // Frames and stream pieces (run-length modes 2 and 3) are new: the originals refuse them,
    // the fast stages read them.
    const auto is_new = [](uint8_t mode) {
        return mode == RUN_LENGTH_FRAME || mode == RUN_LENGTH_STREAM;
    };
    const Outcome stage_one = Run(EntropyDecode, data + 2, size - 2, capacity);
    if (stage_one.result <= 0 || !is_new(stage_one.buffer[0])) {
        Compare(Pipeline, ReferencePipeline, data + 2, size - 2, capacity);
    }
    if (size < 3 || !is_new(data[2])) {
        Compare(RunLengthDecode, ReferenceRunLengthDecode, data + 2, size - 2, capacity);
    }
    return 0;
}
