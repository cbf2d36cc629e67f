// Decoded chunks from somewhere other than the engine's own buffer: a caller that decodes chunks
// ahead of the engine, on other threads, hands them over through this.
#pragma once

#include <cstdint>

class ChunkSource {
  public:
    // The chunk whose `length`-byte body starts `offset` bytes into the package, decoded with
    // ChunkDecoder::Decode and `capacity`. Returns exactly what Decode returns for that body;
    // when positive, `*decoded` points at that many bytes, valid until the next call or until
    // the extraction ends. Asked for each chunk in package order, once.
    virtual int32_t DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                                 const uint8_t** decoded) = 0;

    // Whether, after the last chunk handed over, a stream's frame was open (begun, not ended):
    // ChunkDecoder::StreamOpen for the decoder that decoded it. A source that decodes no stream
    // chunks never has one open.
    virtual bool StreamOpen() const { return false; }

  protected:
    ~ChunkSource() = default;
};
