// The run-length stage as first written (one block copy per repetition), kept unchanged as the
// yardstick for the faster one.
#pragma once

#include <cstdint>

// Same contract as RunLengthDecode.
int32_t ReferenceRunLengthDecode(uint8_t* buffer, int32_t length, int32_t capacity);
