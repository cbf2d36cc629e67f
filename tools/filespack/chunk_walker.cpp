#include "tools/filespack/chunk_walker.h"

#include <cstring>

#include "package/package_format.h"

namespace {

int32_t LoadI32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

ChunkWalker::ChunkWalker(std::span<const uint8_t> package) : package_(package) {
    const int64_t available = static_cast<int64_t>(package.size());
    if (available < HEADER_SIZE + 4) return;
    const uint8_t* header = package.data();
    if (std::memcmp(header, PACKAGE_MAGIC, sizeof PACKAGE_MAGIC) != 0) return;
    if (std::memcmp(header + 16, PLAIN_MARKER, sizeof PLAIN_MARKER) != 0) return;
    if (std::memcmp(header + 24, PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE) != 0) return;
    const int32_t declared = LoadI32(header + 20);
    if (declared <= 0) return;
    // The engine refuses a package that declares more than there is, before any chunk.
    const int64_t length = int64_t{declared} + LENGTH_BASE;
    if (length > available || length < HEADER_SIZE + 4) return;
    end_ = length;
    position_ = HEADER_SIZE;
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
