#include "tests/codec/reference_entropy_decode.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

class ReferenceBitReader {
  public:
    virtual ~ReferenceBitReader() = default;

    // `stream` is the first byte after the declared length; `body_length` counts the whole body,
    // declared length included.
    void Attach(const uint8_t* stream, int32_t body_length);
    void Rewind();
    // Next n bits (0 <= n <= 25). Bits past the end of the body read as zero and still count in
    // `bits_consumed`, so `bits_consumed > bits_available` tells the caller the stream was short.
    uint32_t Read(int32_t n);
    void Finish(int32_t n);

    const uint8_t* data = nullptr;
    const uint8_t* cursor = nullptr;
    uint32_t bit_buffer = 0;
    int32_t bit_count = 0;
    int32_t bits_consumed = 0;
    int32_t bytes_consumed = 0;
    int32_t length = 0;
    int32_t bits_available = 0;
};

void ReferenceBitReader::Attach(const uint8_t* stream, int32_t body_length) {
    data = stream;
    length = body_length;
    bits_available = length * 8 - 32;
}

void ReferenceBitReader::Rewind() {
    cursor = data;
    bit_buffer = 0;
    bit_count = 0;
    bits_consumed = 0;
}

uint32_t ReferenceBitReader::Read(int32_t n) {
    if (n <= 0) return 0;
    if (bit_count < n && bit_count <= 24) {
        // The last loadable byte is the body's last; nothing past it is ever touched.
        const uint8_t* end = data + (length - 4);
        while (bit_count <= 24 && cursor < end) {
            bit_buffer = (bit_buffer << 8) | *cursor++;
            bit_count += 8;
        }
    }
    bits_consumed += n;
    if (bit_count < n) {
        // Short stream: hand out what is left followed by zero bits; the caller sees the
        // overrun in bits_consumed and fails.
        const uint32_t value = bit_buffer << (n - bit_count);
        bit_buffer = 0;
        bit_count = 0;
        return value;
    }
    bit_count -= n;
    const uint32_t value = bit_buffer >> bit_count;
    bit_buffer -= value << bit_count;
    return value;
}

void ReferenceBitReader::Finish(int32_t n) {
    if (n > 0) bits_consumed = n;
    bytes_consumed = (bits_consumed + 7) / 8;
}

constexpr int32_t kByteValues = 256;
// The reader serves at most 25 bits per read, and code values must stay signed 32-bit numbers.
constexpr int32_t kMaxRead = 25;
constexpr int32_t kMaxCodeLength = 30;
// Keeps `length * 8` of the bit reader within a signed 32-bit number.
constexpr int32_t kMaxBodyLength = INT32_MAX / 8;

// Rebuilt by every call in the call frame (262 KiB): nothing survives between chunks.
struct CodeTables {
    int32_t groups = 0;
    int32_t group_length[kByteValues];  // reused as the digits of the code counter
    int32_t group_step[kByteValues];
    int32_t group_radix[kByteValues];
    int32_t group_limit[kByteValues];
    int32_t byte_group[kByteValues];
    int32_t group_size[kByteValues];
    int32_t group_symbols[kByteValues][kByteValues];
};

int32_t LoadDeclaredLength(const uint8_t* body) {
    const uint32_t value = static_cast<uint32_t>(body[0]) | static_cast<uint32_t>(body[1]) << 8 |
                           static_cast<uint32_t>(body[2]) << 16 |
                           static_cast<uint32_t>(body[3]) << 24;
    return static_cast<int32_t>(value);
}

// Group count, lengths and (for two groups or more) one group index per byte value. Rejects
// lengths the reader or a 32-bit code value could not carry.
bool ReadDescription(ReferenceBitReader& reader, CodeTables& t) {
    t.groups = static_cast<int32_t>(reader.Read(8));
    for (int32_t g = 0; g < t.groups; ++g) {
        t.group_length[g] = static_cast<int32_t>(reader.Read(8));
    }
    if (t.groups >= 2) {
        int32_t width = 1;
        for (int32_t reach = 2; reach < t.groups; reach *= 2) ++width;
        for (int32_t b = 0; b < kByteValues; ++b) {
            t.byte_group[b] = static_cast<int32_t>(reader.Read(width));
        }
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
// the last may fill the code space, its digit then ending equal to its radix.
bool NumberCodes(CodeTables& t) {
    int32_t* code_digit = t.group_length;
    std::memset(code_digit, 0, sizeof t.group_length);
    std::memset(t.group_symbols, 0, sizeof t.group_symbols);
    const int32_t last = t.groups - 1;
    for (int32_t g = 0; g < t.groups; ++g) {
        int32_t next = 0;
        int32_t size = 0;
        for (int32_t b = 0; b < kByteValues; ++b) {
            if (t.byte_group[b] != g) continue;
            code_digit[g] = next;
            t.group_symbols[g][size++] = b;
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
        t.group_size[g] = size;
    }
    return true;
}

// Invariant of the walk: on reaching group g, v >= first[g] = limit[g-1] << step[g], so
// v - first[g] indexes the group's symbols once v < limit[g].
bool DecodeBytes(ReferenceBitReader& reader, const CodeTables& t, uint8_t* out, int32_t count) {
    const int32_t last = t.groups - 1;
    for (int32_t i = 0; i < count; ++i) {
        int32_t g = 0;
        int32_t v = static_cast<int32_t>(reader.Read(t.group_step[0]));
        while (v >= t.group_limit[g]) {
            if (g == last) return false;
            ++g;
            v = (v << t.group_step[g]) + static_cast<int32_t>(reader.Read(t.group_step[g]));
        }
        if (reader.bits_consumed > reader.bits_available) return false;
        const int32_t first = t.group_limit[g] - t.group_size[g];
        out[i] = static_cast<uint8_t>(t.group_symbols[g][v - first]);
    }
    return true;
}

}  // namespace

int32_t ReferenceEntropyDecode(uint8_t* buffer, int32_t length, int32_t capacity) {
    if (buffer == nullptr || length < 4 || length > kMaxBodyLength) return 0;
    // The output overwrites the body, so the codes are read from a private copy.
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
    if (!copy) return 0;
    std::memcpy(copy.get(), buffer, static_cast<size_t>(length));

    const int32_t declared = LoadDeclaredLength(copy.get());
    if (declared > capacity) return 0;

    ReferenceBitReader reader;
    reader.Attach(copy.get() + 4, length);
    reader.Rewind();
    CodeTables tables;
    if (!ReadDescription(reader, tables)) return 0;
    if (!NumberCodes(tables)) return 0;
    if (declared > 0) {
        if (tables.groups == 0) return 0;
        if (!DecodeBytes(reader, tables, buffer, declared)) return 0;
    }
    reader.Finish(0);
    return declared;
}
