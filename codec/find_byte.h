// The first byte equal to `value` in [begin, end), or `end`: the run-length stage's scan for its
// escape byte, which passes over every literal of a chunk. glibc's memchr does this at tens of
// GB/s; the Windows runtime's (and Wine's, which the tests run on) compares byte by byte, which
// made the scan the largest cost of the Windows builds. There, the scan goes 16 bytes at a time
// with SSE2 where the target has it (x86-64), else 4 bytes at a time in a word.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32) && defined(__SSE2__)
#include <emmintrin.h>
#endif

inline const uint8_t* FindByte(const uint8_t* begin, const uint8_t* end, uint8_t value) {
#if !defined(_WIN32)
    const void* found = std::memchr(begin, value, static_cast<size_t>(end - begin));
    return found != nullptr ? static_cast<const uint8_t*>(found) : end;
#else
    const uint8_t* at = begin;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    for (; end - at >= 16; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted));
        if (hits != 0) return at + __builtin_ctz(static_cast<unsigned>(hits));
    }
#else
    // A byte of x ^ pattern is zero where the word holds `value`; the classic test finds
    // whether any is, and the bytes are then looked at one by one.
    const uint32_t pattern = 0x01010101u * value;
    for (; end - at >= 4; at += 4) {
        uint32_t word;
        std::memcpy(&word, at, 4);
        const uint32_t x = word ^ pattern;
        if (((x - 0x01010101u) & ~x & 0x80808080u) != 0) break;
    }
#endif
    while (at < end && *at != value) ++at;
    return at;
#endif
}
