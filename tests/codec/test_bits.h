// Builds chunk bodies bit by bit, most significant bit first, as the decoder reads them.
#pragma once

#include <cstdint>
#include <vector>

class TestBits {
  public:
    TestBits& Put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bit_count_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(0x80u >> (bit_count_ % 8));
            ++bit_count_;
        }
        return *this;
    }
    TestBits& Bytes(const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes) Put(b, 8);
        return *this;
    }
    // One group index of `width` bits for every byte value, from a function of the byte value.
    template <typename F>
    TestBits& Indexes(int width, F group_of) {
        for (int b = 0; b < 256; ++b) Put(static_cast<uint32_t>(group_of(b)), width);
        return *this;
    }
    int bit_count() const { return bit_count_; }

    // The declared length, little-endian, then the bits.
    std::vector<uint8_t> Body(int32_t declared) const {
        std::vector<uint8_t> body;
        const auto d = static_cast<uint32_t>(declared);
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(d >> (8 * i)));
        for (uint8_t b : bytes_) body.push_back(b);
        return body;
    }

  private:
    std::vector<uint8_t> bytes_;
    int bit_count_ = 0;
};
