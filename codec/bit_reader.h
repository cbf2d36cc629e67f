// Reads a chunk's bit stream most significant bit first, one byte at a time.
#pragma once

#include <cstdint>

class BitReader {
  public:
    virtual ~BitReader() = default;

    // `stream` is the first byte after the declared length; `body_length` counts the whole body,
    // declared length included.
    void Attach(const uint8_t* stream, int32_t body_length);
    void Rewind();
    // Next n bits (0 <= n <= 25). Bits past the end of the body read as zero and still count in
    // `bits_consumed`, so `bits_consumed > bits_available` tells the caller the stream was short.
    uint32_t Read(int32_t n);
    // Consumes n more bits and rounds `bytes_consumed` up to whole bytes. Part of the reader as
    // designed, for a caller that needs to know where the stream ends; the decoder never does,
    // since every chunk carries its own length.
    void Finish(int32_t n);

    const uint8_t* data = nullptr;
    const uint8_t* cursor = nullptr;
    uint32_t bit_buffer = 0;
    int32_t bit_count = 0;
    int32_t bits_consumed = 0;
    int32_t bytes_consumed = 0;  // set only by Finish
    int32_t length = 0;
    int32_t bits_available = 0;
};
