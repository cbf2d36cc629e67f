// First decoding stage of a chunk: a prefix code described by code groups.
#pragma once

#include <cstdint>

// Decodes the body of `length` bytes at the start of `buffer` (a 4-byte declared length, then the
// bit stream). Returns the declared length when it is positive and decoding succeeded, the
// declared length itself when it is 0 or negative, and 0 when the declared length exceeds
// `capacity` or the stream is invalid. Never reads outside the body nor writes past `capacity`.
int32_t EntropyDecode(uint8_t* buffer, int32_t length, int32_t capacity);

// The same decoding from a body that stays where it is into `out`, which must not overlap it and
// must have room for the declared length. `spare`, when not null, is working room for as many
// bytes, overlapping neither, that lets the decoder work on two parts of the stream at once.
int32_t EntropyDecodeInto(const uint8_t* body, int32_t length, int32_t capacity, uint8_t* out,
                          uint8_t* spare = nullptr);
