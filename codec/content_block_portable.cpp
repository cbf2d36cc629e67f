#include "codec/content_block.h"

#include <new>

// Large pages need a privilege on Windows that an installer does not have: plain memory.
uint8_t* AllocateContentBlock(size_t size) {
    return size == 0 ? nullptr : new (std::nothrow) uint8_t[size];
}

void FreeContentBlock(uint8_t* block, size_t) {
    delete[] block;
}
