// The entropy stage's code tables, shared by its three parts: the code description read from a
// chunk and numbered (entropy_description.cpp), the look-ups built from it (entropy_lookup.cpp),
// and the decoder that runs on them (entropy_decode.cpp). Nothing outside the codec uses this.
#pragma once

#include <cstdint>
#include <cstring>

#include "codec/bit_reader.h"

namespace entropy {

inline constexpr int32_t kByteValues = 256;
// The reader serves at most 25 bits per read, and code values must stay signed 32-bit numbers.
inline constexpr int32_t kMaxRead = 25;
inline constexpr int32_t kMaxCodeLength = 30;
// Keeps `length * 8` of the bit reader within a signed 32-bit number.
inline constexpr int32_t kMaxBodyLength = INT32_MAX / 8;

// Codes of up to kTableBits bits are resolved by one look-up of the next kTableBits bits; longer
// ones, and bit patterns that are no code, take the group walk. Twelve bits keep the table in
// the first-level cache and cover the codes of nearly every real chunk.
inline constexpr int kTableBits = 12;
inline constexpr uint32_t kTableSize = uint32_t{1} << kTableBits;
// Building the look-up costs about as much as decoding a few kilobytes, so short chunks get a
// smaller one.
inline constexpr int kSmallTableBits = 10;
inline constexpr int32_t kSmallChunk = 16384;

// A look-up entry: the whole codes, up to three, that lie in the next table-width bits.
//   bits 0-5 their total length (at the bottom, so that a shift can take the entry as its
//   count), 6-13 the first byte, 14-21 the second, 22-29 the third, 30-31 how many codes (at
//   the top, so that one shift extracts it). An entry with no code is 0: it takes no bits and
//   writes nothing, so the look-ups after it in a round stand still on it too.
inline constexpr int kCountShift = 30;
inline constexpr int kBytesShift = 6;
inline constexpr uint32_t kMaxCodesPerEntry = 3;
inline constexpr uint32_t kEntryLengthMask = 63;
static_assert(kMaxCodesPerEntry * kTableBits <= kEntryLengthMask,
              "an entry's total length must fit its six bits");
static_assert(kBytesShift + 8 * kMaxCodesPerEntry <= kCountShift,
              "an entry's bytes must end below its count");
static_assert(kMaxCodesPerEntry < (1u << (32 - kCountShift)),
              "an entry's count must fit its two bits");
// A single-code entry: bits 0-7 the byte, 8-13 the code's length; a length longer than any
// table when no short code starts there.
inline constexpr int kSingleLengthShift = 8;
inline constexpr uint16_t kNoShortLength = 63;
inline constexpr uint16_t kNoShortCode = kNoShortLength << kSingleLengthShift;
static_assert(kNoShortLength > kTableBits, "no short code may be taken for the missing one");

// Rebuilt by every call in the call frame (about 32 KiB, see below): nothing survives between
// chunks.
struct CodeTables {
    int32_t groups = 0;
    int32_t group_length[kByteValues];  // reused as the digits of the code counter
    int32_t code_length[kByteValues];   // the lengths, kept for the walk
    int32_t group_step[kByteValues];
    int32_t group_radix[kByteValues];
    int32_t group_limit[kByteValues];
    int32_t byte_group[kByteValues];
    int32_t group_size[kByteValues];
    int32_t group_offset[kByteValues];  // where the group's bytes start in `symbols`
    uint8_t symbols[kByteValues];       // every group's byte values, group after group
    int32_t short_groups = 0;           // groups whose codes fit the look-up
    int32_t table_bits = kTableBits;    // the look-up's width for this chunk
    uint16_t single[kTableSize];        // one code per entry
    uint32_t lookup[kTableSize];        // up to three codes per entry
};
// The worker's stack also holds the engine and the window's frames; keep the stage well inside it.
static_assert(sizeof(CodeTables) <= 40 * 1024, "the decoding tables outgrew their frame budget");

// The stream's bits from bit `position` on, most significant first, in a 64-bit word; bits past
// the end of the stream read as zero, as the byte-at-a-time reader hands them out. At least
// kPeekBits of them are the stream's (the rest are zero).
inline constexpr int kPeekBits = 56;
inline uint64_t PeekWord(const uint8_t* stream, int64_t stream_bytes, int64_t position) {
    const int64_t at = position >> 3;
    uint64_t word = 0;
    if (at + 8 <= stream_bytes) {
        std::memcpy(&word, stream + at, 8);
        word = __builtin_bswap64(word);
    } else {
        for (int64_t i = 0; i < 8; ++i) {
            word <<= 8;
            if (at + i < stream_bytes) word |= stream[at + i];
        }
    }
    return word << (position & 7);
}

// The code description: group count, group lengths and each byte value's group. Rejects lengths
// the reader or a 32-bit code value could not carry.
bool ReadDescription(BitReader& reader, CodeTables& t);
// Assigns every byte value its code; false when the description overruns the code space.
bool NumberCodes(CodeTables& t);
// Fills `single` and `lookup` for `t.table_bits`.
void BuildLookup(CodeTables& t);

}  // namespace entropy
