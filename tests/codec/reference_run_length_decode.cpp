#include "tests/codec/reference_run_length_decode.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint8_t kStored = 0;
constexpr uint8_t kRunLength = 1;
constexpr uint8_t kEscapedEscape = 0xFF;
constexpr uint8_t kLongRun = 0x80;
constexpr size_t kScratchSlack = 16;

}  // namespace

int32_t ReferenceRunLengthDecode(uint8_t* buffer, int32_t length, int32_t capacity) {
    if (buffer == nullptr || length < 1) return -1;
    if (buffer[0] == kStored) {
        std::memmove(buffer, buffer + 1, static_cast<size_t>(length - 1));
        return length - 1;
    }
    if (buffer[0] != kRunLength || length < 2 || capacity < 0) return -1;

    const size_t room = static_cast<size_t>(capacity);
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[room + kScratchSlack]);
    if (!scratch) return -1;

    const uint8_t escape = buffer[1];
    // The sentinel ends every literal scan at the end of the input at the latest.
    buffer[length] = escape;
    const uint8_t* in = buffer + 2;
    const uint8_t* const end = buffer + length;
    uint8_t* const out_begin = scratch.get();
    uint8_t* out = out_begin;

    while (in < end) {
        const auto* stop =
            static_cast<const uint8_t*>(std::memchr(in, escape, static_cast<size_t>(end - in) + 1));
        const size_t literals = static_cast<size_t>(stop - in);
        if (literals > room - static_cast<size_t>(out - out_begin)) return -1;
        std::memcpy(out, in, literals);
        out += literals;
        in = stop;
        if (in == end) break;

        if (end - in < 2) return -1;
        const uint8_t descriptor = in[1];
        in += 2;
        const size_t left = room - static_cast<size_t>(out - out_begin);
        if (descriptor == kEscapedEscape) {
            if (left < 1) return -1;
            *out++ = escape;
            continue;
        }
        const size_t pattern = static_cast<size_t>((descriptor >> 4) & 7) + 1;
        size_t repeats = static_cast<size_t>(descriptor & 15) + 1;
        if (descriptor & kLongRun) {
            if (in == end) return -1;
            repeats = static_cast<size_t>(*in++) * 15 + (descriptor & 15) + 16;
        }
        if (static_cast<size_t>(end - in) < pattern) return -1;
        if (repeats * pattern > left) return -1;
        for (size_t r = 0; r < repeats; ++r) {
            std::memcpy(out, in, pattern);
            out += pattern;
        }
        in += pattern;
    }

    const size_t produced = static_cast<size_t>(out - out_begin);
    std::memcpy(buffer, out_begin, produced);
    return static_cast<int32_t>(produced);
}
