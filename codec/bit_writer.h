// Appends bit fields most significant bit first, the order the chunk decoder reads them.
#pragma once

#include <cstdint>
#include <vector>

class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // n <= 32; value must fit in n bits.
    void Put(uint32_t value, int n) {
        pending_ = (pending_ << n) | value;
        pending_count_ += n;
        while (pending_count_ >= 8) {
            pending_count_ -= 8;
            out_.push_back(static_cast<uint8_t>(pending_ >> pending_count_));
        }
        pending_ &= (uint64_t{1} << pending_count_) - 1;
    }

    // Pads the last byte with zero bits.
    void Flush() {
        if (pending_count_ > 0) Put(0, 8 - pending_count_);
    }

  private:
    std::vector<uint8_t>& out_;
    uint64_t pending_ = 0;
    int pending_count_ = 0;
};
