// Second decoding stage of a chunk: stored data, runs of a pattern behind an escape byte, one
// zstd frame (codec/frame_decode.h), or the next piece of a package's one zstd stream
// (codec/stream_decode.h).
#pragma once

#include <cstdint>

class FrameDecoder;
class StreamDecoder;

// Decodes the run-length stream of `length` bytes at the start of `buffer` in place.
// Returns the decoded length or -1. Writes one byte at buffer[length] (a sentinel), so the
// buffer must hold at least max(length + 1, capacity) bytes. A stream piece fails: it needs
// the stream before it.
int32_t RunLengthDecode(uint8_t* buffer, int32_t length, int32_t capacity);

// The same, with a stream piece decoded with `stream` (the package's stream so far); while
// `stream` has a frame open, any other mode fails.
int32_t RunLengthDecodeWithStream(uint8_t* buffer, int32_t length, int32_t capacity,
                                  StreamDecoder* stream);

// The same decoding from `input` into `out`, which must not overlap it and has room for
// `capacity` bytes. Writes the sentinel at input[length]. A frame is decoded with `frames` when
// given (its context is kept), else with a context made for the call.
int32_t RunLengthDecodeInto(uint8_t* input, int32_t length, int32_t capacity, uint8_t* out,
                            FrameDecoder* frames = nullptr, StreamDecoder* stream = nullptr);
