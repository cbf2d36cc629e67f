#include "package/integrity_digest.h"

#include <new>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "package/integrity_digest_sse2.h"

#if FILESPACK_DIGEST_DISPATCH
#include <cpuid.h>
#endif

namespace {

void StoreCanonical(XXH128_hash_t hash, uint8_t digest[DIGEST_SIZE]) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    for (size_t i = 0; i < DIGEST_SIZE; ++i) digest[i] = canonical.digest[i];
}

#if FILESPACK_DIGEST_DISPATCH
// The 32-bit program is built for processors without SSE2, where XXH3 runs its scalar loop
// (64-bit multiplies made of 32-bit ones); nearly every processor it meets has SSE2, which
// is several times faster over a large package.
bool HasSse2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    return (edx & bit_SSE2) != 0;
}
#endif

}  // namespace

void DigestBytes(const uint8_t* bytes, size_t size, uint8_t digest[DIGEST_SIZE]) {
#if FILESPACK_DIGEST_DISPATCH
    static const bool sse2 = HasSse2();
    if (sse2) {
        DigestBytesSse2(bytes, size, digest);
        return;
    }
#endif
    StoreCanonical(XXH3_128bits(bytes, size), digest);
}

struct DigestStream::State {
    XXH3_state_t xxh;  // 64-byte aligned members: allocated with the aligned operator new
};

DigestStream::DigestStream() : state_(new (std::nothrow) State) {
    if (state_ != nullptr) XXH3_128bits_reset(&state_->xxh);
}

DigestStream::~DigestStream() {
    delete state_;
}

void DigestStream::Update(const uint8_t* bytes, size_t size) {
    if (state_ != nullptr) XXH3_128bits_update(&state_->xxh, bytes, size);
}

void DigestStream::Finish(uint8_t digest[DIGEST_SIZE]) {
    if (state_ != nullptr) StoreCanonical(XXH3_128bits_digest(&state_->xxh), digest);
}
