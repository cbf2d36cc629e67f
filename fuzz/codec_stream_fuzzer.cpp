// A package's chunks, one after another, through one decoder, as the engine hands them over:
// the stream decoder is kept across chunks, so a piece meets whatever the pieces before it left
// behind. No write past the capacity, no result above it, and a stream the decoder still calls
// open after a failure is a fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/chunk_decoder.h"

// Input: two bytes choosing the capacity, a flag byte, then pieces, each a two-byte length and
// its bytes. With the flag's low bit set each piece is a stream piece's payload and gets the
// head the writer gives it, so that the fuzzer spends its time inside the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (1u << 20)) return 0;
    const auto capacity = static_cast<int32_t>(1 + ((data[0] << 8 | data[1]) % 70000));
    const bool payloads = (data[2] & 1) != 0;
    ChunkDecoder decoder;
    size_t at = 3;
    bool failed = false;
    while (size - at >= 2) {
        const size_t length = std::min<size_t>(data[at] | data[at + 1] << 8, size - at - 2);
        at += 2;
        std::vector<uint8_t> body;
        if (payloads) {
            body.resize(CHUNK_HEAD_SIZE);
            PutFlatHead(body.data(), RUN_LENGTH_STREAM, length);
        }
        body.insert(body.end(), data + at, data + at + length);
        at += length;
        if (body.empty() || body.size() > static_cast<size_t>(capacity)) continue;
        std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 1);
        std::memcpy(buffer.data(), body.data(), body.size());
        const int32_t result =
            decoder.Decode(buffer.data(), static_cast<int32_t>(body.size()), capacity);
        if (result > capacity) std::abort();
        // A stream that failed is never open again.
        if (failed && decoder.StreamOpen()) std::abort();
        failed |= result <= 0 && decoder.StreamBegun() && !decoder.StreamOpen();
    }
    return 0;
}
