// Second decoding stage of a chunk: stored data, or runs of a pattern behind an escape byte.
#pragma once

#include <cstdint>

// Decodes the run-length stream of `length` bytes at the start of `buffer` in place.
// Returns the decoded length or -1. Writes one byte at buffer[length] (a sentinel), so the
// buffer must hold at least max(length + 1, capacity) bytes.
int32_t RunLengthDecode(uint8_t* buffer, int32_t length, int32_t capacity);
