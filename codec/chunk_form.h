// What every part of the codec agrees on about a chunk's outer form: the room a decoder has past
// a block, the head a body starts with, and the run-length stage's mode bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// A chunk decodes to at most the block size plus this many bytes (its capacity).
inline constexpr int32_t CHUNK_CAPACITY_SLACK = 16;
// The reader's chunk buffer holds the block size plus this many bytes.
inline constexpr int32_t CHUNK_BUFFER_SLACK = 512;

// A body's head in the form the writers give it: the declared length, the identity code (one
// group of eight-bit codes, which the decoder passes over), and the run-length mode byte.
inline constexpr size_t CHUNK_HEAD_SIZE = 7;

// The run-length stage's modes.
inline constexpr uint8_t RUN_LENGTH_STORED = 0;
inline constexpr uint8_t RUN_LENGTH_RUNS = 1;
inline constexpr uint8_t RUN_LENGTH_FRAME = 2;
inline constexpr uint8_t RUN_LENGTH_STREAM = 3;

// Whether a body stands behind the identity code, so that its run-length stream is the body
// from offset 6 on, unchanged: a look at two bytes, without decoding.
inline bool HasIdentityCode(const uint8_t* body, int32_t length) {
    return body != nullptr && length >= static_cast<int32_t>(CHUNK_HEAD_SIZE) && body[4] == 1 &&
           body[5] == 8;
}

// The run-length mode of a body behind the identity code (-1 for any other body).
inline int FlatMode(const uint8_t* body, int32_t length) {
    return HasIdentityCode(body, length) ? body[6] : -1;
}

// Writes the head of a body behind the identity code whose run-length stream is `mode` and
// `payload` bytes after it.
inline void PutFlatHead(uint8_t* body, uint8_t mode, size_t payload) {
    const auto declared = static_cast<uint32_t>(payload + 1);
    for (int i = 0; i < 4; ++i) body[i] = static_cast<uint8_t>(declared >> (8 * i));
    body[4] = 1;
    body[5] = 8;
    body[6] = mode;
}
