#include "codec/entropy_encode.h"

#include "codec/bit_writer.h"

namespace {

// The decoder reads at most 25 bits at once; with every length within that, neither the first
// length nor any step can exceed it.
constexpr int kMaxCodeLength = 25;

int IndexWidth(int32_t groups) {
    int width = 1;
    for (int32_t reach = 2; reach < groups; reach *= 2) ++width;
    return width;
}

bool IsPowerOfTwo(int32_t v) {
    return v > 0 && (v & (v - 1)) == 0;
}

// Groups are the distinct lengths in ascending order. A byte value with no code needs a free
// index, which a power-of-two group count lacks, so empty groups of length 0 go in front: they
// hold no code, leave all their space to the next group and cost one length byte each.
EntropyPlan PlanFromLengths(const CodeLengths& lengths, const std::array<bool, 256>& in_code,
                            const ByteCounts& counts) {
    std::array<bool, 256> used_length{};
    bool any_absent = false;
    for (size_t b = 0; b < 256; ++b) {
        if (in_code[b]) {
            used_length[lengths[b]] = true;
        } else {
            any_absent = true;
        }
    }
    std::array<int32_t, 256> rank{};
    int32_t distinct = 0;
    for (size_t len = 0; len < 256; ++len) {
        if (used_length[len]) rank[len] = distinct++;
    }

    int32_t lead = 0;
    if (any_absent && distinct == 1) lead = 2;
    if (any_absent && distinct > 1 && IsPowerOfTwo(distinct)) lead = 1;

    EntropyPlan plan;
    plan.groups = lead + distinct;
    for (size_t len = 0; len < 256; ++len) {
        if (used_length[len])
            plan.group_length[static_cast<size_t>(lead + rank[len])] = static_cast<uint8_t>(len);
    }
    uint64_t code_bits = 0;
    for (size_t b = 0; b < 256; ++b) {
        if (!in_code[b]) {
            plan.byte_group[b] = static_cast<uint16_t>(plan.groups);
            continue;
        }
        plan.byte_group[b] = static_cast<uint16_t>(lead + rank[lengths[b]]);
        code_bits += counts[b] * lengths[b];
    }
    const uint64_t index_bits =
        plan.groups >= 2 ? 256u * static_cast<uint64_t>(IndexWidth(plan.groups)) : 0;
    plan.bits = 8 + 8 * static_cast<uint64_t>(plan.groups) + index_bits + code_bits;
    return plan;
}

}  // namespace

ByteCounts CountBytes(const uint8_t* data, size_t size) {
    // Four tables keep successive equal bytes from waiting on one another's increments.
    std::array<std::array<uint64_t, 256>, 4> partial{};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++partial[0][data[i]];
        ++partial[1][data[i + 1]];
        ++partial[2][data[i + 2]];
        ++partial[3][data[i + 3]];
    }
    for (; i < size; ++i) ++partial[0][data[i]];
    ByteCounts counts{};
    for (size_t b = 0; b < 256; ++b) {
        counts[b] = partial[0][b] + partial[1][b] + partial[2][b] + partial[3][b];
    }
    return counts;
}

EntropyPlan IdentityPlan(const ByteCounts& counts) {
    std::array<bool, 256> all{};
    all.fill(true);
    CodeLengths identity{};
    identity.fill(8);
    return PlanFromLengths(identity, all, counts);
}

EntropyPlan PlanEntropyCode(const ByteCounts& counts) {
    std::array<bool, 256> all{};
    all.fill(true);
    EntropyPlan best = IdentityPlan(counts);

    std::array<bool, 256> present{};
    bool any_absent = false;
    for (size_t b = 0; b < 256; ++b) {
        present[b] = counts[b] > 0;
        any_absent = any_absent || !present[b];
    }
    const EntropyPlan occurring =
        PlanFromLengths(LimitedCodeLengths(counts, present, kMaxCodeLength), present, counts);
    if (occurring.bits < best.bits) best = occurring;
    if (any_absent) {
        // Codes for the absent values too: no free index needed, at some cost in code space.
        const EntropyPlan every =
            PlanFromLengths(LimitedCodeLengths(counts, all, kMaxCodeLength), all, counts);
        if (every.bits < best.bits) best = every;
    }
    return best;
}

std::vector<uint8_t> WriteEntropyBody(const EntropyPlan& plan, const uint8_t* data, size_t size) {
    // Codes follow the decoder's numbering: within a group by ascending byte value, and each
    // group starting where the previous one ended, widened by the step in length.
    std::array<uint32_t, 256> code{};
    std::array<uint8_t, 256> code_length{};
    uint32_t limit = 0;
    for (int32_t g = 0; g < plan.groups; ++g) {
        const auto gi = static_cast<size_t>(g);
        const int step =
            g == 0 ? plan.group_length[0] : plan.group_length[gi] - plan.group_length[gi - 1];
        uint32_t next = g == 0 ? 0 : limit << step;
        for (size_t b = 0; b < 256; ++b) {
            if (plan.byte_group[b] != g) continue;
            code[b] = next++;
            code_length[b] = plan.group_length[gi];
        }
        limit = next;
    }

    std::vector<uint8_t> body;
    body.reserve(static_cast<size_t>(plan.BodySize()));
    const auto declared = static_cast<uint32_t>(size);
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(declared >> (8 * i)));
    BitWriter writer(body);
    writer.Put(static_cast<uint32_t>(plan.groups), 8);
    for (int32_t g = 0; g < plan.groups; ++g) {
        writer.Put(plan.group_length[static_cast<size_t>(g)], 8);
    }
    if (plan.groups >= 2) {
        const int width = IndexWidth(plan.groups);
        for (size_t b = 0; b < 256; ++b) writer.Put(plan.byte_group[b], width);
    }
    for (size_t i = 0; i < size; ++i) writer.Put(code[data[i]], code_length[data[i]]);
    writer.Flush();
    return body;
}
