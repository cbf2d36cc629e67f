#include "codec/bit_reader.h"

void BitReader::Attach(const uint8_t* stream, int32_t body_length) {
    data = stream;
    length = body_length;
    bits_available = length * 8 - 32;
}

void BitReader::Rewind() {
    cursor = data;
    bit_buffer = 0;
    bit_count = 0;
    bits_consumed = 0;
}

uint32_t BitReader::Read(int32_t n) {
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

void BitReader::Finish(int32_t n) {
    if (n > 0) bits_consumed = n;
    bytes_consumed = (bits_consumed + 7) / 8;
}
