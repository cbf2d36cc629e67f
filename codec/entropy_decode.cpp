#include "codec/entropy_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bit_reader.h"

namespace {

constexpr int32_t kByteValues = 256;
// The reader serves at most 25 bits per read, and code values must stay signed 32-bit numbers.
constexpr int32_t kMaxRead = 25;
constexpr int32_t kMaxCodeLength = 30;
// Keeps `length * 8` of the bit reader within a signed 32-bit number.
constexpr int32_t kMaxBodyLength = INT32_MAX / 8;

// Codes of up to kTableBits bits are resolved by one look-up of the next kTableBits bits; longer
// ones, and bit patterns that are no code, take the group walk. Twelve bits keep the table in
// the first-level cache and cover the codes of nearly every real chunk.
constexpr int kTableBits = 12;
constexpr uint32_t kTableSize = uint32_t{1} << kTableBits;
// Building the look-up costs about as much as decoding a few kilobytes, so short chunks get a
// smaller one.
constexpr int kSmallTableBits = 10;
constexpr int32_t kSmallChunk = 16384;

// A look-up entry: the whole codes, up to three, that lie in the next table-width bits.
//   bits 0-5 their total length (at the bottom, so that a shift can take the entry as its
//   count), 6-13 the first byte, 14-21 the second, 22-29 the third, 30-31 how many codes (at
//   the top, so that one shift extracts it). An entry with no code is 0: it takes no bits and
//   writes nothing, so the look-ups after it in a round stand still on it too.
constexpr int kCountShift = 30;
constexpr int kBytesShift = 6;
constexpr uint32_t kMaxCodesPerEntry = 3;
// A single-code entry: bits 0-7 the byte, 8-13 the code's length; a length longer than any
// table when no short code starts there.
constexpr int kSingleLengthShift = 8;
constexpr uint16_t kNoShortCode = 63 << kSingleLengthShift;

// Rebuilt by every call in the call frame (about 22 KiB): nothing survives between chunks.
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

int32_t LoadDeclaredLength(const uint8_t* body) {
    const uint32_t value = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                           static_cast<uint32_t>(body[2]) << 16 |
                           static_cast<uint32_t>(body[3]) << 24;
    return static_cast<int32_t>(value);
}

// The stream's bits from bit `position` on, most significant first, in a 64-bit word; bits past
// the end of the stream read as zero, as the byte-at-a-time reader hands them out.
uint64_t PeekWord(const uint8_t* stream, int64_t stream_bytes, int64_t position) {
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

// Group count, lengths and (for two groups or more) one group index per byte value. Rejects
// lengths the reader or a 32-bit code value could not carry.
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
        const int32_t per_word = 56 / width;
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
        const uint32_t longer = (entry & ~(uint32_t{63} | uint32_t{3} << kCountShift)) |
                                ((entry & 63) + codes[k].length) | (held + 1) << kCountShift |
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

// One code by the group walk, for codes longer than the look-up and for bit patterns that are
// no code. Starts past the groups the look-up already ruled out. False where the byte-at-a-time
// decoder fails: a pattern past the last group's codes, or a code that runs past the stream.
bool WalkOne(const CodeTables& t, const uint8_t* stream, int64_t stream_bytes, int64_t& position,
             uint8_t* out) {
    const uint64_t word = PeekWord(stream, stream_bytes, position);
    for (int32_t g = t.short_groups; g < t.groups; ++g) {
        const int32_t length = t.code_length[g];
        const auto v = length == 0 ? 0 : static_cast<int32_t>(word >> (64 - length));
        if (v >= t.group_limit[g]) continue;
        position += length;
        if (position > stream_bytes * 8) return false;
        const int32_t first = t.group_limit[g] - t.group_size[g];
        *out = t.symbols[t.group_offset[g] + v - first];
        return true;
    }
    return false;
}

uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
}

// Writes the entry's bytes; the caller advances by the entry's count. Four bytes are stored
// whatever the count, so the output needs three bytes of room past the last code.
void PutBytes(uint8_t* out, uint32_t entry) {
    const uint32_t bytes = entry >> kBytesShift;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bytes, 4);
    } else {
        out[0] = static_cast<uint8_t>(bytes);
        out[1] = static_cast<uint8_t>(bytes >> 8);
        out[2] = static_cast<uint8_t>(bytes >> 16);
    }
}

// The stream a decoder reads and where its fast part must end.
struct Stream {
    const uint8_t* bytes;
    int64_t size;       // in bytes
    int64_t last_load;  // the last offset at which a whole 8-byte load fits
};

// One decoder's place in the fast part. `window` holds the stream's bits from the decoder's
// position on at its top; `held` of them (at least 48 at the start of a round) are known, the
// rest of the word is zero or later stream bits. A refill merges the eight bytes at `next` under
// the held bits and moves `next` past the whole bytes now held; it never waits for the look-ups,
// which keeps it off their chain.
struct Lane {
    uint64_t window = 0;
    uint32_t held = 0;
    int64_t next = 0;
    uint8_t* out = nullptr;

    int64_t Position() const { return next * 8 - held; }
};

// Four look-ups take at most 4 x 12 = 48 bits and store at most 3 x 3 + 4 = 13 bytes.
constexpr int64_t kRoundOutput = 4 * kMaxCodesPerEntry + 1;

// Needs `position >> 3` <= the stream's last load.
void StartLane(Lane& lane, const Stream& s, int64_t position, uint8_t* out) {
    lane.next = position >> 3;
    lane.window = LoadBigEndian64(s.bytes + lane.next) << (position & 7);
    lane.held = static_cast<uint32_t>(56 - (position & 7));
    lane.next += 7;
    lane.out = out;
}

bool CanRound(const Lane& lane, const Stream& s, const uint8_t* out_end) {
    return lane.next <= s.last_load && out_end - lane.out >= kRoundOutput;
}

// How many rounds the lane can take, one after another, before any of its limits needs to be
// looked at again: each round loads at most 7 bytes further on, writes at most kRoundOutput
// bytes and moves the output and position on by at most 12 bytes and 48 bits.
int64_t SafeRounds(const Lane& lane, const Stream& s, const uint8_t* out_end, int64_t stop) {
    const int64_t room = out_end - lane.out - kRoundOutput;
    const int64_t position = lane.Position();
    if (lane.next > s.last_load || room < 0 || position >= stop) return 0;
    const int64_t by_input = (s.last_load - lane.next) / 7 + 1;
    const int64_t by_output = room / 12 + 1;
    const int64_t by_stop = (stop - position - 1) / 48 + 1;
    return std::min(by_input, std::min(by_output, by_stop));
}

// Four look-ups. False when a pattern needs the walk: the lane then stands just before it (an
// entry with no code stops the lane where it is for the rest of the round, so no look-up needs a
// test of its own).
template <int kBits>
bool Round(const CodeTables& t, const Stream& s, Lane& lane) {
    lane.window |= LoadBigEndian64(s.bytes + lane.next) >> lane.held;
    lane.next += (63 - lane.held) >> 3;
    lane.held |= 56;
    uint32_t e = 0;
    for (int i = 0; i < 4; ++i) {
        e = t.lookup[lane.window >> (64 - kBits)];
        PutBytes(lane.out, e);
        lane.out += e >> kCountShift;
        // x86 shifts take their count modulo 64, so the entry serves as it is; `held` is only
        // kept modulo 64 here, the entry's upper bits being multiples of 64.
        lane.window <<= e & 63;
        lane.held -= e;
    }
    lane.held &= 63;
    return e != 0;
}

// One code, every code checked against the end of the stream. False where the byte-at-a-time
// decoder fails.
template <int kBits>
bool StepOne(const CodeTables& t, const Stream& s, int64_t& position, uint8_t* out) {
    const uint64_t word = PeekWord(s.bytes, s.size, position);
    const uint32_t one = t.single[word >> (64 - kBits)];
    if (one == kNoShortCode) return WalkOne(t, s.bytes, s.size, position, out);
    const int64_t length = one >> kSingleLengthShift;
    // A short code cut off by the end of the stream fails as a read past the end would.
    if (position + length > s.size * 8) return false;
    *out = static_cast<uint8_t>(one);
    position += length;
    return true;
}

// Decodes from `position` into [out, end) with one lane, leaving the fast part once the lane
// reaches `stop` (a bit position) or can round no more. Returns false on a stream the
// byte-at-a-time decoder fails on; `position` and `out` then say nothing.
template <int kBits>
bool RunFast(const CodeTables& t, const Stream& s, int64_t& position, uint8_t*& out,
             const uint8_t* end, int64_t stop) {
    if ((position >> 3) > s.last_load || end - out < kRoundOutput) return true;
    Lane lane;
    StartLane(lane, s, position, out);
    while (CanRound(lane, s, end) && lane.Position() < stop) {
        for (int64_t n = SafeRounds(lane, s, end, stop); n > 1; --n) {
            if (!Round<kBits>(t, s, lane)) break;
        }
        if (Round<kBits>(t, s, lane)) continue;
        int64_t at = lane.Position();
        if (!WalkOne(t, s.bytes, s.size, at, lane.out++)) return false;
        if ((at >> 3) > s.last_load) {
            position = at;
            out = lane.out;
            return true;
        }
        StartLane(lane, s, at, lane.out);
    }
    position = lane.Position();
    out = lane.out;
    return true;
}

// Decodes from `position` until [out, end) is full.
template <int kBits>
bool DecodeSequential(const CodeTables& t, const Stream& s, int64_t position, uint8_t* out,
                      uint8_t* end) {
    if (!RunFast<kBits>(t, s, position, out, end, INT64_MAX)) return false;
    for (; out < end; ++out) {
        if (!StepOne<kBits>(t, s, position, out)) return false;
    }
    return true;
}

// Codes of a prefix code synchronise: a decoder started at an arbitrary bit soon lands on the
// boundaries the true decoder passes. The second half of the stream is decoded by a second lane
// that starts in its middle, interleaved with the first so that the two look-up chains overlap.
// Its first kMarks codes are taken one at a time and their boundaries kept; when the first lane
// arrives, it steps code by code until it stands on one of them, and from there the second
// lane's bytes are the true ones. Without a meeting, or when the second lane meets a pattern
// that is no code, the rest is decoded in order, so every stream gives what it gave before.
constexpr int kMarks = 32;
// Below this many bytes the set-up costs more than the overlap gains.
constexpr int32_t kSplitBytes = 1024;

template <int kBits>
bool DecodeSplit(const CodeTables& t, const Stream& s, int64_t position, uint8_t* out, uint8_t* end,
                 uint8_t* spare, const uint8_t* spare_end) {
    const int64_t middle = position + (s.size * 8 - position) / 2;
    // Marks of the second lane: mark[k] is where its code k starts.
    int64_t mark[kMarks + 1];
    mark[0] = middle;
    int64_t second = middle;
    for (int k = 0; k < kMarks; ++k) {
        if (!StepOne<kBits>(t, s, second, spare + k)) {
            return DecodeSequential<kBits>(t, s, position, out, end);
        }
        mark[k + 1] = second;
    }
    // The first lane stops short of the middle, so that it reaches the marks one code at a time.
    const int64_t first_stop = middle - 64;
    Lane a;
    Lane b;
    bool a_fast = (position >> 3) <= s.last_load && position < first_stop;
    bool b_fast = (second >> 3) <= s.last_load;
    if (a_fast) StartLane(a, s, position, out);
    if (b_fast) StartLane(b, s, second, spare + kMarks);
    uint8_t* b_out = spare + kMarks;
    while (a_fast || b_fast) {
        if (a_fast && b_fast) {
            for (int64_t n = std::min(SafeRounds(a, s, end, first_stop),
                                      SafeRounds(b, s, spare_end, INT64_MAX));
                 n > 0; --n) {
                // A lane stopped before a pattern that needs the walk stops again at once in
                // the checked round below, which walks it.
                const bool a_on = Round<kBits>(t, s, a);
                const bool b_on = Round<kBits>(t, s, b);
                if (!(a_on && b_on)) break;
            }
        }
        if (a_fast && (!CanRound(a, s, end) || a.Position() >= first_stop)) {
            a_fast = false;
            position = a.Position();
            out = a.out;
        } else if (a_fast && !Round<kBits>(t, s, a)) {
            int64_t at = a.Position();
            if (!WalkOne(t, s.bytes, s.size, at, a.out++)) return false;
            if ((at >> 3) <= s.last_load) {
                StartLane(a, s, at, a.out);
            } else {
                a_fast = false;
                position = at;
                out = a.out;
            }
        }
        if (b_fast && !CanRound(b, s, spare_end)) {
            b_fast = false;
            second = b.Position();
            b_out = b.out;
        } else if (b_fast && !Round<kBits>(t, s, b)) {
            // A pattern that is no code ends the second lane; the sequential decoder meets it
            // again if the true decoder gets there.
            int64_t at = b.Position();
            second = at;
            b_out = b.out;
            if (!WalkOne(t, s.bytes, s.size, at, b_out)) {
                b_fast = false;
            } else if ((at >> 3) <= s.last_load) {
                StartLane(b, s, at, b.out + 1);
            } else {
                b_fast = false;
                second = at;
                b_out = b.out + 1;
            }
        }
    }

    // Meet: the first lane steps code by code over the marks.
    int k = 0;
    while (out < end) {
        while (k <= kMarks && mark[k] < position) ++k;
        if (k > kMarks) break;
        if (mark[k] == position) {
            const size_t known = static_cast<size_t>(b_out - (spare + k));
            const size_t wanted = static_cast<size_t>(end - out);
            if (known >= wanted) {
                std::memcpy(out, spare + k, wanted);
                return true;
            }
            std::memcpy(out, spare + k, known);
            return DecodeSequential<kBits>(t, s, second, out + known, end);
        }
        if (!StepOne<kBits>(t, s, position, out++)) return false;
    }
    return DecodeSequential<kBits>(t, s, position, out, end);
}

// Decodes `count` bytes from bit `position` of the stream; `spare`, when given, is room for
// `count` bytes that the split decoder may use.
template <int kBits>
bool DecodeBytes(const CodeTables& t, const uint8_t* stream, int64_t stream_bytes, int64_t position,
                 uint8_t* out, int32_t count, uint8_t* spare) {
    const Stream s{stream, stream_bytes, stream_bytes - 8};
    if (spare != nullptr && count >= kSplitBytes) {
        return DecodeSplit<kBits>(t, s, position, out, out + count, spare, spare + count);
    }
    return DecodeSequential<kBits>(t, s, position, out, out + count);
}

}  // namespace

int32_t EntropyDecodeInto(const uint8_t* body, int32_t length, int32_t capacity, uint8_t* out,
                          uint8_t* spare) {
    if (body == nullptr || length < 4 || length > kMaxBodyLength) return 0;
    const int32_t declared = LoadDeclaredLength(body);
    if (declared > capacity) return 0;

    BitReader reader;
    reader.Attach(body + 4, length);
    reader.Rewind();
    CodeTables tables;
    if (!ReadDescription(reader, tables)) return 0;
    if (!NumberCodes(tables)) return 0;
    if (declared <= 0) return declared;
    if (tables.groups == 0) return 0;

    const uint8_t* const stream = body + 4;
    const int64_t stream_bytes = length - 4;
    const int64_t position = reader.bits_consumed;
    // One group of length 8 is the identity code that stored chunks use, and it starts on a
    // byte boundary: the output is the stream's bytes.
    if (tables.groups == 1 && tables.code_length[0] == 8) {
        if ((position >> 3) + declared > stream_bytes) return 0;
        std::memcpy(out, stream + (position >> 3), static_cast<size_t>(declared));
        return declared;
    }

    // Every code of length 0: the one byte value of the last group (the earlier groups are then
    // empty), repeated without reading a bit.
    const int32_t last = tables.groups - 1;
    if (tables.code_length[last] == 0 && tables.group_size[last] == 1) {
        std::memset(out, tables.symbols[tables.group_offset[last]], static_cast<size_t>(declared));
        return declared;
    }

    bool decoded = false;
    if (declared < kSmallChunk) {
        tables.table_bits = kSmallTableBits;
        BuildLookup(tables);
        decoded = DecodeBytes<kSmallTableBits>(tables, stream, stream_bytes, position, out,
                                               declared, spare);
    } else {
        tables.table_bits = kTableBits;
        BuildLookup(tables);
        decoded =
            DecodeBytes<kTableBits>(tables, stream, stream_bytes, position, out, declared, spare);
    }
    return decoded ? declared : 0;
}

int32_t EntropyDecode(uint8_t* buffer, int32_t length, int32_t capacity) {
    if (buffer == nullptr || length < 4 || length > kMaxBodyLength) return 0;
    // The output overwrites the body, so the stage reads a private copy of it; the same block
    // gives the decoder its spare room.
    const auto size = static_cast<size_t>(length);
    const size_t spare = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[size + spare]);
    if (!copy) return 0;
    std::memcpy(copy.get(), buffer, size);
    return EntropyDecodeInto(copy.get(), length, capacity, buffer,
                             spare > 0 ? copy.get() + size : nullptr);
}
