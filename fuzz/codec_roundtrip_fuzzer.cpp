// Encodes arbitrary pieces and decodes them again; also checks each encoding stage on its own,
// since the chunk encoder would hide a faulty stage behind its stored fallback.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "codec/entropy_decode.h"
#include "codec/entropy_encode.h"
#include "codec/run_length_decode.h"
#include "codec/run_length_encode.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckStages(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> runs = RunLengthEncode(data, size);
    std::vector<uint8_t> buffer(std::max(runs.size(), size) + 1);
    std::memcpy(buffer.data(), runs.data(), runs.size());
    const int32_t decoded = RunLengthDecode(buffer.data(), static_cast<int32_t>(runs.size()),
                                            static_cast<int32_t>(size));
    Check(decoded == static_cast<int32_t>(size) && std::memcmp(buffer.data(), data, size) == 0);

    const EntropyPlan plan = PlanEntropyCode(CountBytes(data, size));
    const std::vector<uint8_t> body = WriteEntropyBody(plan, data, size);
    Check(body.size() == plan.BodySize());
    std::vector<uint8_t> out(std::max(body.size(), size) + 1);
    std::memcpy(out.data(), body.data(), body.size());
    const int32_t entropy =
        EntropyDecode(out.data(), static_cast<int32_t>(body.size()), static_cast<int32_t>(size));
    Check(entropy == static_cast<int32_t>(size) && std::memcmp(out.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t block_size = std::max<int32_t>(1024, static_cast<int32_t>(size));
    const std::vector<uint8_t> body = ChunkEncoder().Encode(data, size, block_size);
    Check(!body.empty() && body.size() <= size + 7);

    const auto capacity = static_cast<size_t>(block_size) + 16;
    std::vector<uint8_t> buffer(static_cast<size_t>(block_size) + 512);
    std::memcpy(buffer.data(), body.data(), body.size());
    const int32_t decoded = ChunkDecoder().Decode(buffer.data(), static_cast<int32_t>(body.size()),
                                                  static_cast<int32_t>(capacity));
    Check(decoded == static_cast<int32_t>(size) && std::memcmp(buffer.data(), data, size) == 0);

    CheckStages(data, size);
    return 0;
}
