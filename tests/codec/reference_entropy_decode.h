// The entropy stage as first written: a byte-at-a-time bit reader and a group walk per code.
// Kept unchanged as the yardstick the fast decoder must match, result for result and byte for
// byte, on valid and invalid bodies alike.
#pragma once

#include <cstdint>

// Same contract as EntropyDecode.
int32_t ReferenceEntropyDecode(uint8_t* buffer, int32_t length, int32_t capacity);
