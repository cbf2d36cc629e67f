#include "codec/entropy_decode.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "codec/bit_reader.h"
#include "codec/entropy_tables.h"

using namespace entropy;

namespace {

int32_t LoadDeclaredLength(const uint8_t* body) {
    const uint32_t value = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                           static_cast<uint32_t>(body[2]) << 16 |
                           static_cast<uint32_t>(body[3]) << 24;
    return static_cast<int32_t>(value);
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

// A round of the fast part: four look-ups from a window that holds at least kHeldAfterRefill
// known bits, refilled by one 8-byte load that moves on by at most kRefillBytes whole bytes.
constexpr int kLookupsPerRound = 4;
constexpr int64_t kRefillBytes = 7;
constexpr uint32_t kHeldAfterRefill = 8 * kRefillBytes;
constexpr int64_t kRoundBits = kLookupsPerRound * kTableBits;                     // at most
constexpr int64_t kRoundAdvance = kLookupsPerRound * int64_t{kMaxCodesPerEntry};  // bytes, at most
constexpr int64_t kPutBytesWidth = 4;  // PutBytes stores four bytes whatever the entry holds
// The last look-up's store reaches furthest: three full entries before it, then four bytes.
constexpr int64_t kRoundOutput =
    (kLookupsPerRound - 1) * int64_t{kMaxCodesPerEntry} + kPutBytesWidth;
static_assert(kRoundBits <= kHeldAfterRefill, "a round's look-ups must find their bits held");
// `held |= kHeldAfterRefill` tops any count below 64 up to at least 56 and keeps its bit offset.
static_assert(kHeldAfterRefill == 56, "the refill's OR needs the bits 0b111000");

// One decoder's place in the fast part. `window` holds the stream's bits from the decoder's
// position on at its top; `held` of them (at least kRoundBits at the start of a round) are known,
// the rest of the word is zero or later stream bits. A refill merges the eight bytes at `next`
// under the held bits and moves `next` past the whole bytes now held; it never waits for the
// look-ups, which keeps it off their chain.
struct Lane {
    uint64_t window = 0;
    uint32_t held = 0;
    int64_t next = 0;
    uint8_t* out = nullptr;

    int64_t Position() const { return next * 8 - held; }
};

// Needs `position >> 3` <= the stream's last load.
[[gnu::always_inline]] inline void StartLane(Lane& lane, const Stream& s, int64_t position,
                                             uint8_t* out) {
    lane.next = position >> 3;
    lane.window = LoadBigEndian64(s.bytes + lane.next) << (position & 7);
    lane.held = static_cast<uint32_t>(kHeldAfterRefill - (position & 7));
    lane.next += kRefillBytes;
    lane.out = out;
}

[[gnu::always_inline]] inline bool CanRound(const Lane& lane, const Stream& s,
                                            const uint8_t* out_end) {
    return lane.next <= s.last_load && out_end - lane.out >= kRoundOutput;
}

// How many rounds the lane can take, one after another, before any of its limits needs to be
// looked at again: each round loads at most kRefillBytes further on, writes at most kRoundOutput
// bytes and moves the output and position on by at most kRoundAdvance bytes and kRoundBits.
[[gnu::always_inline]] inline int64_t SafeRounds(const Lane& lane, const Stream& s,
                                                 const uint8_t* out_end, int64_t stop) {
    const int64_t room = out_end - lane.out - kRoundOutput;
    const int64_t position = lane.Position();
    if (lane.next > s.last_load || room < 0 || position >= stop) return 0;
    const int64_t by_input = (s.last_load - lane.next) / kRefillBytes + 1;
    const int64_t by_output = room / kRoundAdvance + 1;
    const int64_t by_stop = (stop - position - 1) / kRoundBits + 1;
    return std::min(by_input, std::min(by_output, by_stop));
}

// Four look-ups. False when a pattern needs the walk: the lane then stands just before it (an
// entry with no code stops the lane where it is for the rest of the round, so no look-up needs a
// test of its own).
template <int kBits>
[[gnu::always_inline]] inline bool Round(const CodeTables& t, const Stream& s, Lane& lane) {
    assert(lane.next <= s.last_load && lane.held < 64);
    lane.window |= LoadBigEndian64(s.bytes + lane.next) >> lane.held;
    lane.next += (63 - lane.held) >> 3;
    lane.held |= kHeldAfterRefill;
    uint32_t e = 0;
    for (int i = 0; i < kLookupsPerRound; ++i) {
        e = t.lookup[lane.window >> (64 - kBits)];
        PutBytes(lane.out, e);
        lane.out += e >> kCountShift;
        // The shift takes the entry's length field alone. `held` subtracts the whole entry and
        // is right only modulo 64 until the mask below, the fields above the length being
        // multiples of 64; that saves a mask on the look-up chain.
        lane.window <<= e & kEntryLengthMask;
        lane.held -= e;
    }
    lane.held &= 63;
    assert(lane.held >= kHeldAfterRefill - kLookupsPerRound * kBits);
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
// boundaries the true decoder passes. So the stream is cut into parts of equal bit length and
// each part after the first is decoded by a lane of its own from its first bit, into spare room;
// the lanes run interleaved so that their look-up chains overlap. A lane takes its first kMarks
// codes one at a time and keeps their boundaries. Then the true decoder goes through the parts
// in order: it decodes up to a part's start, steps code by code until it stands on one of that
// part's marks, and from there the part's bytes are the true ones and it carries on where the
// part's lane stopped. Without a meeting, or where a lane met a pattern that is no code or ran
// out of room, the true decoder decodes the rest itself, so every stream gives what it gave
// before.
constexpr int kMarks = 32;
// Below kSplitBytes the set-up costs more than the overlap gains; from kMorePartsBytes on, three
// parts gain more than two (more lanes do not: the processor is then busy enough).
constexpr int32_t kSplitBytes = 1024;
constexpr int32_t kMorePartsBytes = 6144;
// A lane stops this many bits short of the next part, so that the true decoder reaches the
// part's marks one code at a time.
constexpr int64_t kApproach = 64;

struct Part {
    int64_t mark[kMarks + 1];  // mark[k]: where the part's code k starts; mark[0] its first bit
    bool usable = false;       // all marks found
    bool fast = false;         // its lane is running
    uint8_t* begin = nullptr;  // its bytes, from code 0 on
    const uint8_t* room_end = nullptr;
    int64_t stop = 0;          // where the lane stops (bits)
    int64_t end_position = 0;  // where the lane is, or stopped
    uint8_t* end_out = nullptr;
};

// One checked round of a part's lane; a pattern that needs the walk is walked, and a lane that
// cannot go on stops. `truth` is the first part, whose failures are the stream's.
template <int kBits>
[[gnu::always_inline]] inline bool Advance(const CodeTables& t, const Stream& s, Part& p,
                                           Lane& lane, bool truth) {
    if (!CanRound(lane, s, p.room_end) || lane.Position() >= p.stop) {
        p.fast = false;
        p.end_position = lane.Position();
        p.end_out = lane.out;
        return true;
    }
    if (Round<kBits>(t, s, lane)) return true;
    int64_t at = lane.Position();
    p.end_position = at;
    p.end_out = lane.out;
    if (!WalkOne(t, s.bytes, s.size, at, lane.out)) {
        // For a later part the pattern may lie past the true decoder's last code; the true
        // decoder meets it again if it gets there.
        p.fast = false;
        return !truth;
    }
    if ((at >> 3) <= s.last_load) {
        StartLane(lane, s, at, lane.out + 1);
    } else {
        p.fast = false;
        p.end_position = at;
        p.end_out = lane.out + 1;
    }
    return true;
}

template <int kBits, int... kPart>
bool DecodeSplit(const CodeTables& t, const Stream& s, int64_t position, uint8_t* out, uint8_t* end,
                 uint8_t* spare, const uint8_t* spare_end, std::integer_sequence<int, kPart...>) {
    constexpr int kParts = sizeof...(kPart);
    const int64_t bits = s.size * 8;
    const int64_t part_bits = (bits - position) / kParts;
    const size_t room = static_cast<size_t>(spare_end - spare) / (kParts - 1);
    Part parts[kParts];
    for (int i = 0; i < kParts; ++i) {
        Part& p = parts[i];
        p.mark[0] = position + i * part_bits;
        p.stop = i + 1 < kParts ? position + (i + 1) * part_bits - kApproach : INT64_MAX;
        p.end_position = p.mark[0];
        if (i == 0) {
            p.usable = true;
            p.begin = out;
            p.room_end = end;
            p.end_out = out;
        } else {
            p.begin = spare + static_cast<size_t>(i - 1) * room;
            p.room_end = p.begin + room;
            int64_t at = p.mark[0];
            int k = 0;
            for (; k < kMarks && p.begin + k < p.room_end; ++k) {
                if (!StepOne<kBits>(t, s, at, p.begin + k)) break;
                p.mark[k + 1] = at;
            }
            p.usable = k == kMarks;
            if (!p.usable) continue;
            p.end_position = at;
            p.end_out = p.begin + kMarks;
        }
        p.fast = (p.end_position >> 3) <= s.last_load && p.end_position < p.stop;
    }
    // The lanes are only ever named by constant indexes, so that they can live in registers.
    Lane lanes[kParts];
    ((parts[kPart].fast
          ? StartLane(lanes[kPart], s, parts[kPart].end_position, parts[kPart].end_out)
          : void()),
     ...);
    bool ok = true;
    for (bool any = true; any && ok;) {
        // Rounds every running lane can take before its limits need looking at again; a lane
        // stopped before a pattern that needs the walk stops again at once in the checked round
        // below, which walks it.
        int64_t batch = INT64_MAX;
        ((parts[kPart].fast
              ? (batch = std::min(
                     batch, SafeRounds(lanes[kPart], s, parts[kPart].room_end, parts[kPart].stop)))
              : 0),
         ...);
        for (; batch > 0 && batch != INT64_MAX; --batch) {
            bool on = true;
            ((on = (parts[kPart].fast ? Round<kBits>(t, s, lanes[kPart]) : true) && on), ...);
            if (!on) break;
        }
        any = false;
        ((parts[kPart].fast && ok
              ? (any = true, ok = Advance<kBits>(t, s, parts[kPart], lanes[kPart], kPart == 0))
              : false),
         ...);
    }
    if (!ok) return false;

    // The true decoder goes through the parts in order.
    position = parts[0].end_position;
    out = parts[0].end_out;
    for (int i = 1; i < kParts; ++i) {
        const Part& p = parts[i];
        if (!p.usable) continue;
        if (!RunFast<kBits>(t, s, position, out, end, p.mark[0] - kApproach)) return false;
        int k = 0;
        bool met = false;
        while (out < end) {
            while (k <= kMarks && p.mark[k] < position) ++k;
            if (k > kMarks) break;
            if (p.mark[k] == position) {
                met = true;
                break;
            }
            if (!StepOne<kBits>(t, s, position, out++)) return false;
        }
        if (!met) continue;
        const size_t known = static_cast<size_t>(p.end_out - (p.begin + k));
        const size_t wanted = static_cast<size_t>(end - out);
        if (known >= wanted) {
            std::memcpy(out, p.begin + k, wanted);
            return true;
        }
        std::memcpy(out, p.begin + k, known);
        out += known;
        position = p.end_position;
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
        if (count >= kMorePartsBytes) {
            return DecodeSplit<kBits>(t, s, position, out, out + count, spare, spare + count,
                                      std::make_integer_sequence<int, 3>());
        }
        return DecodeSplit<kBits>(t, s, position, out, out + count, spare, spare + count,
                                  std::make_integer_sequence<int, 2>());
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
