// The look-ups the entropy decoder runs on, built from the numbered codes.
#include "codec/entropy_tables.h"

namespace entropy {

namespace {

// A code short enough for the look-up, in code order.
struct ShortCode {
    uint32_t code;
    uint32_t length;
    uint32_t byte;
};

void FillEntries(uint32_t* at, uint32_t count, uint32_t entry) {
    for (uint32_t i = 0; i < count; ++i) at[i] = entry;
}

// Fills the 2^room entries at `table`, which all begin with the codes `entry` already holds:
// each short code that fits in the room takes the entries whose next bits are that code, and
// entries no such code takes keep `entry` as it is. Every entry is written once, at the depth
// where its codes end, so the work is about one store per entry.
void FillCodes(uint32_t* table, uint32_t room, uint32_t entry, const ShortCode* codes,
               uint32_t code_count, uint32_t max_codes) {
    const uint32_t held = entry >> kCountShift;
    uint32_t filled = 0;
    for (uint32_t k = 0; k < code_count && codes[k].length <= room; ++k) {
        const uint32_t shift = room - codes[k].length;
        const uint32_t begin = codes[k].code << shift;
        const uint32_t end = (codes[k].code + 1) << shift;
        FillEntries(table + filled, begin - filled, entry);
        const uint32_t longer = (entry & ~(kEntryLengthMask | uint32_t{3} << kCountShift)) |
                                ((entry & kEntryLengthMask) + codes[k].length) |
                                (held + 1) << kCountShift |
                                codes[k].byte << (kBytesShift + 8 * held);
        if (held + 1 == max_codes || shift == 0) {
            FillEntries(table + begin, end - begin, longer);
        } else {
            FillCodes(table + begin, shift, longer, codes, code_count, max_codes);
        }
        filled = end;
    }
    FillEntries(table + filled, (uint32_t{1} << room) - filled, entry);
}

// The look-up with at most two codes per entry: the entries of each first code take the second
// code from the single-code look-up of the bits after it. One pass, no branches.
void FillPairs(CodeTables& t, const ShortCode* codes, uint32_t code_count) {
    const auto bits = static_cast<uint32_t>(t.table_bits);
    uint32_t filled = 0;
    for (uint32_t k = 0; k < code_count; ++k) {
        const uint32_t length = codes[k].length;
        const uint32_t room = bits - length;
        const uint32_t begin = codes[k].code << room;
        FillEntries(t.lookup + filled, begin - filled, 0);
        const uint32_t one = length | codes[k].byte << kBytesShift | uint32_t{1} << kCountShift;
        for (uint32_t x = 0; x < uint32_t{1} << room; ++x) {
            const uint32_t next = t.single[x << length];
            const uint32_t next_length = next >> kSingleLengthShift;
            const uint32_t two = one + next_length + ((next & 0xFF) << (kBytesShift + 8)) +
                                 (uint32_t{1} << kCountShift);
            t.lookup[begin + x] = next_length <= room ? two : one;
        }
        filled = begin + (uint32_t{1} << room);
    }
    FillEntries(t.lookup + filled, (uint32_t{1} << bits) - filled, 0);
}

}  // namespace

// Fills the look-ups. A code of length n <= table width owns every entry whose top n bits are
// that code: the entries it owns are exactly those whose group walk would end on it, because
// the groups' code ranges nest (first[g] = limit[g-1] << step[g]). Entries no short code owns
// send the decoder to the walk, which gives the same byte or the same failure. An entry of the
// multi-code look-up holds the codes that lie wholly inside its bits, up to three.
void BuildLookup(CodeTables& t) {
    const int32_t bits = t.table_bits;
    const uint32_t size = uint32_t{1} << bits;
    uint16_t* const single = t.single;
    ShortCode codes[kByteValues];
    uint32_t code_count = 0;
    int32_t g = 0;
    uint32_t filled = 0;
    for (; g < t.groups && t.code_length[g] <= bits; ++g) {
        const auto length = static_cast<uint32_t>(t.code_length[g]);
        const uint32_t shift = static_cast<uint32_t>(bits) - length;
        const auto first = static_cast<uint32_t>(t.group_limit[g] - t.group_size[g]);
        const auto tag = static_cast<uint16_t>(length << kSingleLengthShift);
        for (int32_t k = 0; k < t.group_size[g]; ++k) {
            const uint8_t byte = t.symbols[t.group_offset[g] + k];
            const uint32_t code = first + static_cast<uint32_t>(k);
            codes[code_count++] = {code, length, byte};
            const uint32_t begin = code << shift;
            const uint32_t end = (code + 1) << shift;
            for (uint32_t e = filled; e < begin; ++e) single[e] = kNoShortCode;
            const auto entry = static_cast<uint16_t>(tag | byte);
            for (uint32_t e = begin; e < end; ++e) single[e] = entry;
            filled = end;
        }
    }
    for (uint32_t e = filled; e < size; ++e) single[e] = kNoShortCode;
    t.short_groups = g;
    // A short chunk's narrower look-up rarely holds three codes, and filling the third level
    // would cost more than it saves.
    if (bits < kTableBits) {
        FillPairs(t, codes, code_count);
    } else {
        FillCodes(t.lookup, static_cast<uint32_t>(bits), 0, codes, code_count, kMaxCodesPerEntry);
    }
}

}  // namespace entropy
