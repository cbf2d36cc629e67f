// Arbitrary chunk bodies through the decoding pipeline, in a buffer exactly as large as the
// engine's contract requires (capacity + 1), so any write past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/chunk_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the capacity, so small limits are explored too.
    const auto capacity = static_cast<int32_t>(1 + ((data[0] << 8 | data[1]) % 70000));
    const uint8_t* body = data + 2;
    const size_t length = size - 2;
    if (length > static_cast<size_t>(capacity)) return 0;  // the engine rejects these first

    std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 1);
    std::memcpy(buffer.data(), body, length);
    const int32_t result =
        ChunkDecoder().Decode(buffer.data(), static_cast<int32_t>(length), capacity);
    if (result > capacity) std::abort();
    return 0;
}
