#include "codec/run_length_decode.h"

#include <cstring>
#include <memory>
#include <new>

#include "codec/find_byte.h"
#include "codec/frame_decode.h"
#include "codec/stream_decode.h"

namespace {

constexpr uint8_t kEscapedEscape = 0xFF;
constexpr uint8_t kLongRun = 0x80;
constexpr auto kScratchSlack = static_cast<size_t>(CHUNK_CAPACITY_SLACK);
constexpr size_t kShortCopy = 16;

// Writes `repeats` copies of the `pattern` bytes at `in`. Runs of one byte are a fill; longer
// patterns are written once and then doubled, so a run costs a few block copies however many
// repetitions it has.
void Repeat(uint8_t* out, const uint8_t* in, size_t pattern, size_t repeats) {
    const size_t total = pattern * repeats;
    if (pattern == 1) {
        std::memset(out, *in, total);
        return;
    }
    std::memcpy(out, in, pattern);
    for (size_t filled = pattern; filled < total;) {
        const size_t n = filled < total - filled ? filled : total - filled;
        std::memcpy(out + filled, out, n);
        filled += n;
    }
}

// A stream's frame, once open, takes every chunk until it ends: a chunk of another mode between
// its pieces fails, and so does every later piece.
bool InterruptsStream(StreamDecoder* stream, uint8_t mode) {
    if (stream == nullptr || !stream->Open() || mode == RUN_LENGTH_STREAM) return false;
    stream->Break();
    return true;
}

}  // namespace

int32_t RunLengthDecodeInto(uint8_t* input, int32_t length, int32_t capacity, uint8_t* out,
                            FrameDecoder* frames, StreamDecoder* stream) {
    if (input == nullptr || length < 1) return -1;
    if (InterruptsStream(stream, input[0])) return -1;
    if (input[0] == RUN_LENGTH_STREAM) {
        if (stream == nullptr) return -1;
        return stream->Decode(input + 1, static_cast<size_t>(length - 1), out, capacity);
    }
    if (input[0] == RUN_LENGTH_STORED) {
        if (length - 1 > capacity) return -1;
        std::memcpy(out, input + 1, static_cast<size_t>(length - 1));
        return length - 1;
    }
    if (input[0] == RUN_LENGTH_FRAME) {
        FrameDecoder own;
        return (frames != nullptr ? *frames : own)
            .Decode(input + 1, static_cast<size_t>(length - 1), out, capacity);
    }
    if (input[0] != RUN_LENGTH_RUNS || length < 2 || capacity < 0) return -1;

    const size_t room = static_cast<size_t>(capacity);
    const uint8_t escape = input[1];
    // The sentinel ends every literal scan at the end of the input at the latest.
    input[length] = escape;
    const uint8_t* in = input + 2;
    const uint8_t* const end = input + length;
    uint8_t* const out_begin = out;

    while (in < end) {
        const uint8_t* stop = FindByte(in, end + 1, escape);
        const size_t literals = static_cast<size_t>(stop - in);
        const size_t left = room - static_cast<size_t>(out - out_begin);
        if (literals > left) return -1;
        // Most stretches of literals are short, and a call to the runtime's memcpy costs more
        // than such a copy (several times more on Windows). Sixteen bytes at once where the
        // input holds them (the sentinel included) and the output has room: the bytes past the
        // literals are written over by what follows, or lie past the end of the output.
        if (literals <= kShortCopy && static_cast<size_t>(end + 1 - in) >= kShortCopy &&
            left >= kShortCopy) {
            std::memcpy(out, in, kShortCopy);
        } else {
            std::memcpy(out, in, literals);
        }
        out += literals;
        in = stop;
        if (in == end) break;

        if (end - in < 2) return -1;
        const uint8_t descriptor = in[1];
        in += 2;
        const size_t run_room = room - static_cast<size_t>(out - out_begin);
        if (descriptor == kEscapedEscape) {
            if (run_room < 1) return -1;
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
        if (repeats * pattern > run_room) return -1;
        Repeat(out, in, pattern, repeats);
        out += pattern * repeats;
        in += pattern;
    }
    return static_cast<int32_t>(out - out_begin);
}

int32_t RunLengthDecode(uint8_t* buffer, int32_t length, int32_t capacity) {
    return RunLengthDecodeWithStream(buffer, length, capacity, nullptr);
}

int32_t RunLengthDecodeWithStream(uint8_t* buffer, int32_t length, int32_t capacity,
                                  StreamDecoder* stream) {
    if (buffer == nullptr || length < 1) return -1;
    if (InterruptsStream(stream, buffer[0])) return -1;
    if (buffer[0] == RUN_LENGTH_STREAM) {
        if (stream == nullptr) return -1;
        // The piece decodes from a copy of itself into the buffer, as a frame does.
        const auto piece_length = static_cast<size_t>(length - 1);
        std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[piece_length]);
        if (!piece) {
            stream->Break();
            return -1;
        }
        std::memcpy(piece.get(), buffer + 1, piece_length);
        return stream->Decode(piece.get(), piece_length, buffer, capacity);
    }
    if (buffer[0] == RUN_LENGTH_STORED) {
        std::memmove(buffer, buffer + 1, static_cast<size_t>(length - 1));
        return length - 1;
    }
    if (buffer[0] == RUN_LENGTH_FRAME) {
        // The frame decodes from a copy of itself into the buffer.
        const auto frame_length = static_cast<size_t>(length - 1);
        std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[frame_length]);
        if (!frame) return -1;
        std::memcpy(frame.get(), buffer + 1, frame_length);
        return FrameDecoder().Decode(frame.get(), frame_length, buffer, capacity);
    }
    if (buffer[0] != RUN_LENGTH_RUNS || length < 2 || capacity < 0) return -1;

    // Runs make the output outgrow the input, so it is built apart and copied back.
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow)
                                           uint8_t[static_cast<size_t>(capacity) + kScratchSlack]);
    if (!scratch) return -1;
    const int32_t produced = RunLengthDecodeInto(buffer, length, capacity, scratch.get());
    if (produced < 0) return -1;
    std::memcpy(buffer, scratch.get(), static_cast<size_t>(produced));
    return produced;
}
