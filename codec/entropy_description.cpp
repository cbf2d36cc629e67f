// The code description of an entropy-coded chunk, and the codes it gives each byte value.
#include "codec/entropy_tables.h"

namespace entropy {

namespace {

// Adds one to the counter at digit g - 1 after digit g overflowed. False when the carry runs
// past digit 0: the description has used up its code space.
bool Carry(int32_t* code_digit, const int32_t* group_radix, int32_t g) {
    code_digit[g] = 0;
    for (int32_t j = g - 1; j >= 0; --j) {
        if (++code_digit[j] < group_radix[j]) return true;
        code_digit[j] = 0;
    }
    return false;
}

}  // namespace

// Group count, lengths and (for two groups or more) one group index per byte value.
bool ReadDescription(BitReader& reader, CodeTables& t) {
    t.groups = static_cast<int32_t>(reader.Read(8));
    for (int32_t g = 0; g < t.groups; ++g) {
        t.group_length[g] = static_cast<int32_t>(reader.Read(8));
    }
    if (t.groups >= 2) {
        int32_t width = 1;
        for (int32_t reach = 2; reach < t.groups; reach *= 2) ++width;
        // The indexes are read several at a time from a 64-bit window; past the end of the
        // stream they read as zero, as the reader would hand them out.
        int64_t position = reader.bits_consumed;
        const int32_t per_word = kPeekBits / width;
        for (int32_t b = 0; b < kByteValues;) {
            uint64_t word = PeekWord(reader.data, reader.length - 4, position);
            for (int32_t k = 0; k < per_word && b < kByteValues; ++k, ++b) {
                t.byte_group[b] = static_cast<int32_t>(word >> (64 - width));
                word <<= width;
                position += width;
            }
        }
        if (position > reader.bits_available) return false;
        reader.bits_consumed = static_cast<int32_t>(position);
    } else {
        for (int32_t b = 0; b < kByteValues; ++b) t.byte_group[b] = 0;
    }
    if (reader.bits_consumed > reader.bits_available) return false;

    for (int32_t g = 0; g < t.groups; ++g) {
        const int32_t previous = g == 0 ? 0 : t.group_length[g - 1];
        const int32_t step = t.group_length[g] - previous;
        if (t.group_length[g] > kMaxCodeLength || step < 0 || step > kMaxRead) return false;
        t.group_step[g] = step;
        t.group_radix[g] = int32_t{1} << step;
        t.code_length[g] = t.group_length[g];
    }
    return true;
}

// Assigns codes group by group with a mixed-radix counter whose digit g holds the low
// `group_step[g]` bits of a group-g code. Every group but the last must leave room after it;
// the last may fill the code space, its digit then ending equal to its radix. Group g's codes
// are first[g] .. limit[g] - 1 with first[g] = limit[g] - size[g], in ascending byte order.
bool NumberCodes(CodeTables& t) {
    // The groups' byte values in ascending order, by one counting pass instead of a pass over
    // all 256 values per group; values whose index names no group are left out.
    int32_t offset = 0;
    for (int32_t g = 0; g < t.groups; ++g) t.group_size[g] = 0;
    for (int32_t b = 0; b < kByteValues; ++b) {
        if (t.byte_group[b] < t.groups) ++t.group_size[t.byte_group[b]];
    }
    for (int32_t g = 0; g < t.groups; ++g) {
        t.group_offset[g] = offset;
        offset += t.group_size[g];
    }
    int32_t placed[kByteValues];
    for (int32_t g = 0; g < t.groups; ++g) placed[g] = t.group_offset[g];
    for (int32_t b = 0; b < kByteValues; ++b) {
        if (t.byte_group[b] < t.groups)
            t.symbols[placed[t.byte_group[b]]++] = static_cast<uint8_t>(b);
    }

    // The counter's steps depend only on how many values each group holds.
    int32_t* code_digit = t.group_length;
    std::memset(code_digit, 0, sizeof t.group_length);
    const int32_t last = t.groups - 1;
    for (int32_t g = 0; g < t.groups; ++g) {
        int32_t next = 0;
        for (int32_t k = 0; k < t.group_size[g]; ++k) {
            code_digit[g] = next;
            if (next < t.group_radix[g]) {
                ++next;
            } else {
                if (!Carry(code_digit, t.group_radix, g)) return false;
                next = 1;
            }
        }
        code_digit[g] = next;
        if (g != last && next >= t.group_radix[g] && !Carry(code_digit, t.group_radix, g)) {
            return false;
        }
        // At most length[g] + 1 <= 31 bits: the digits below g are in range.
        int32_t limit = code_digit[0];
        for (int32_t j = 1; j <= g; ++j) limit = (limit << t.group_step[j]) + code_digit[j];
        t.group_limit[g] = limit;
    }
    return true;
}

}  // namespace entropy
