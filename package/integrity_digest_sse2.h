// The SSE2 build of the digest for 32-bit x86 programs, which are built for processors without
// it (see integrity_digest.cpp). The build defines FILESPACK_DIGEST_DISPATCH where it applies.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifndef FILESPACK_DIGEST_DISPATCH
#define FILESPACK_DIGEST_DISPATCH 0
#endif

#if FILESPACK_DIGEST_DISPATCH
void DigestBytesSse2(const uint8_t* bytes, size_t size, uint8_t* digest);
#endif
