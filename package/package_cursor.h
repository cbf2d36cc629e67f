// A bounded walk over a package held in memory. Every read is asked for with `Has` first, so the
// bound is checked once, where the caller decides what falling short means (a damaged package, a
// truncated one, the end of a walk); `Take` itself never checks.
#pragma once

#include <cstdint>

#include "package/little_endian.h"
#include "package/package_format.h"

class PackageCursor {
  public:
    // `end` is where the walk must stop: the declared length, or fewer when fewer bytes are there.
    PackageCursor(const uint8_t* bytes, int64_t end, int64_t position = 0)
        : bytes_(bytes), end_(end), position_(position) {}

    bool Has(int64_t count) const { return count >= 0 && count <= end_ - position_; }
    int64_t position() const { return position_; }

    const uint8_t* Take(int64_t count) {
        const uint8_t* at = bytes_ + position_;
        position_ += count;
        return at;
    }
    uint8_t TakeByte() { return *Take(1); }
    int32_t TakeI32() { return LoadI32(Take(4)); }

    // An entry's head after its name length: the name, the size, attributes and three times.
    static constexpr int64_t EntryHeadSize(uint8_t name_length) {
        return int64_t{name_length} + 4 + ENTRY_UNIT_SIZE;
    }

  private:
    const uint8_t* bytes_;
    int64_t end_;
    int64_t position_;
};
