// Optional decoder of coded packages. No coder ships with this system.
#pragma once

#include <cstdint>

class PackageCoder {
  public:
    // Slot 1: given the three marker bytes after the first, nonzero when this coder can decode
    // the package. Must leave the bytes unchanged.
    virtual int Accept(uint8_t* bytes, int32_t length) = 0;
    // Slots 2 and 3 belong to the coder's own use; the extraction engine never calls them.
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    // Slot 4: decodes `length` bytes in place.
    virtual void Transform(uint8_t* bytes, int32_t length) = 0;

  protected:
    ~PackageCoder() = default;
};
