// Compiled with -msse2, and called only after the processor was seen to have SSE2. It includes
// no C++ header: an inline function of one, compiled here with SSE2, could be the copy the
// linker keeps for the whole program.
#include "package/integrity_digest_sse2.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

void DigestBytesSse2(const uint8_t* bytes, size_t size, uint8_t* digest) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes, size));
    for (size_t i = 0; i < sizeof canonical.digest; ++i) digest[i] = canonical.digest[i];
}
