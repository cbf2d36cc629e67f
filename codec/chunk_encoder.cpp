#include "codec/chunk_encoder.h"

#include <cassert>
#include <cstring>
#include <memory>
#include <new>

#include "codec/chunk_decoder.h"
#include "codec/chunk_form.h"
#include "codec/entropy_encode.h"
#include "codec/run_length_encode.h"

namespace {

constexpr auto kCapacitySlack = static_cast<size_t>(CHUNK_CAPACITY_SLACK);
constexpr auto kBufferSlack = static_cast<size_t>(CHUNK_BUFFER_SLACK);
// A stored chunk is one move for the decoder and a coded one a decode at about a tenth of that
// speed, so a code must save at least 1/64 of the stored size to be used. Already-compressed
// files then cost a little more room and extract several times faster.
constexpr size_t kWorthCoding = 64;

std::vector<uint8_t> StoredStream(const uint8_t* piece, size_t size) {
    std::vector<uint8_t> stream;
    stream.reserve(size + 1);
    stream.push_back(0);
    stream.insert(stream.end(), piece, piece + size);
    return stream;
}

// Decodes `body` as the extraction engine would and compares it with the piece.
bool DecodesTo(const std::vector<uint8_t>& body, const uint8_t* piece, size_t size,
               size_t capacity) {
    if (body.size() > capacity) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity + kBufferSlack]);
    if (!buffer) return false;
    std::memcpy(buffer.get(), body.data(), body.size());
    const int32_t decoded = ChunkDecoder().Decode(buffer.get(), static_cast<int32_t>(body.size()),
                                                  static_cast<int32_t>(capacity));
    return decoded >= 0 && static_cast<size_t>(decoded) == size &&
           std::memcmp(buffer.get(), piece, size) == 0;
}

// The form Encode writes for one piece. Either stage-one stream is coded with whichever code is
// cheapest, the identity code among them: the stored body and the run-length stream under the
// identity code are two of the four candidates, so comparing the two plans compares all four.
struct ChunkForm {
    std::vector<uint8_t> stored;
    std::vector<uint8_t> runs;
    EntropyPlan plan;
    bool use_runs = false;
    bool worth_coding = false;

    ChunkForm(const uint8_t* piece, size_t size, size_t capacity)
        : stored(StoredStream(piece, size)), runs(RunLengthEncode(piece, size)) {
        const EntropyPlan stored_plan = PlanEntropyCode(CountBytes(stored.data(), stored.size()));
        // The run-length stream must fit the entropy stage's output limit.
        EntropyPlan runs_plan;
        if (runs.size() <= capacity) {
            runs_plan = PlanEntropyCode(CountBytes(runs.data(), runs.size()));
        }
        use_runs = runs_plan.groups > 0 && runs_plan.BodySize() < stored_plan.BodySize();
        plan = use_runs ? runs_plan : stored_plan;
        const size_t stored_body = stored.size() + 6;  // declared length, h = 1, length 8
        worth_coding = plan.BodySize() < stored_body - stored_body / kWorthCoding;
    }

    size_t BodySize() const { return worth_coding ? plan.BodySize() : stored.size() + 6; }
    std::vector<uint8_t> Body() const {
        if (!worth_coding) {
            return WriteEntropyBody(IdentityPlan(ByteCounts{}), stored.data(), stored.size());
        }
        const std::vector<uint8_t>& stream = use_runs ? runs : stored;
        return WriteEntropyBody(plan, stream.data(), stream.size());
    }
};

}  // namespace

std::vector<uint8_t> ChunkEncoder::Encode(const uint8_t* piece, size_t size,
                                          int32_t block_size) const {
    if (size == 0 || block_size <= 0 || size > static_cast<size_t>(block_size)) return {};
    const size_t capacity = static_cast<size_t>(block_size) + kCapacitySlack;
    const ChunkForm form(piece, size, capacity);
    std::vector<uint8_t> body = form.Body();

    // A body that does not decode to the piece would be a broken package: fall back to the
    // plainest form, which the decoder takes byte for byte.
    if (!DecodesTo(body, piece, size, capacity)) {
        assert(!"chunk body does not decode to its piece");
        body = WriteEntropyBody(IdentityPlan(ByteCounts{}), form.stored.data(), form.stored.size());
    }
    return body;
}

size_t ChunkEncoder::EncodedSize(const uint8_t* piece, size_t size, int32_t block_size) const {
    if (size == 0 || block_size <= 0 || size > static_cast<size_t>(block_size)) return 0;
    return ChunkForm(piece, size, static_cast<size_t>(block_size) + kCapacitySlack).BodySize();
}
