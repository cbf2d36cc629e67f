// Memory for a stream's whole content: one block of up to MAX_STREAM_WINDOW bytes, written once
// front to back while the package decodes. Fresh pages cost as much to touch as the decoding
// itself; where the system can back the block with large pages, it does.
#pragma once

#include <cstddef>
#include <cstdint>

// Null when there is no such block to be had.
uint8_t* AllocateContentBlock(size_t size);
// `size` as allocated; null is let be.
void FreeContentBlock(uint8_t* block, size_t size);

// Frees a block held in a std::unique_ptr<uint8_t[], ContentBlockFree>.
struct ContentBlockFree {
    size_t size = 0;
    void operator()(uint8_t* block) const { FreeContentBlock(block, size); }
};
