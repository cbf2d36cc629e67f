#include "tools/filespack/chunk_walker.h"

#include <cstring>

#include "package/little_endian.h"
#include "package/package_format.h"

ChunkWalker::ChunkWalker(std::span<const uint8_t> package) : package_(package) {
    const int64_t available = static_cast<int64_t>(package.size());
    if (available < ENTRIES_OFFSET) return;
    const uint8_t* header = package.data();
    if (std::memcmp(header + MAGIC_OFFSET, PACKAGE_MAGIC, sizeof PACKAGE_MAGIC) != 0) return;
    if (std::memcmp(header + MARKER_OFFSET, PLAIN_MARKER, sizeof PLAIN_MARKER) != 0) return;
    if (std::memcmp(header + SIGNATURE_OFFSET, PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE) != 0) return;
    const int32_t declared = LoadI32(header + LENGTH_OFFSET);
    if (declared <= 0) return;
    // The engine refuses a package that declares more than there is, before any chunk.
    const int64_t length = int64_t{declared} + LENGTH_BASE;
    if (length > available || length < ENTRIES_OFFSET) return;
    end_ = length;
    position_ = BLOCK_SIZE_OFFSET;
    const int32_t block_size = TakeI32();
    if (block_size < MIN_BLOCK_SIZE || block_size > MAX_BLOCK_SIZE) return;
    block_size_ = block_size;
}

int32_t ChunkWalker::capacity() const {
    return block_size_ + CHUNK_SLACK;
}

int32_t ChunkWalker::TakeI32() {
    const int32_t value = LoadI32(package_.data() + position_);
    position_ += 4;
    return value;
}

bool ChunkWalker::Next(ChunkRef& chunk) {
    if (!ok()) return false;
    while (!done_) {
        if (!in_chunks_) {
            if (!Has(1)) break;
            const int32_t name_length = package_[static_cast<size_t>(position_)];
            if (name_length == 0 || !Has(1 + name_length + 4 + ENTRY_UNIT_SIZE)) break;
            position_ += 1 + name_length + 4 + ENTRY_UNIT_SIZE;
            in_chunks_ = true;
            continue;
        }
        if (!Has(4)) break;
        const int32_t length = TakeI32();
        if (length > capacity()) break;
        if (length <= 0) {
            in_chunks_ = false;
            continue;
        }
        if (!Has(length)) break;
        chunk = {position_, length};
        position_ += length;
        return true;
    }
    done_ = true;
    return false;
}
