// The digest of an integrity record: XXH3-128 in its canonical byte order (big-endian, high
// half first), the same 16 bytes whose hex `xxh128sum` prints.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t DIGEST_SIZE = 16;

// One pass over bytes that lie in memory (the Windows program's package, a mapped file).
void DigestBytes(const uint8_t* bytes, size_t size, uint8_t digest[DIGEST_SIZE]);

// The same digest over bytes that arrive piece by piece (a writer reading its output back).
class DigestStream {
  public:
    DigestStream();
    ~DigestStream();
    DigestStream(const DigestStream&) = delete;
    DigestStream& operator=(const DigestStream&) = delete;

    // False when the hash state could not be allocated; Update and Finish then do nothing.
    bool ok() const { return state_ != nullptr; }
    void Update(const uint8_t* bytes, size_t size);
    void Finish(uint8_t digest[DIGEST_SIZE]);

  private:
    struct State;
    State* state_;
};
