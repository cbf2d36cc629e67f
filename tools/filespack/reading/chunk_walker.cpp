#include "tools/filespack/reading/chunk_walker.h"

#include "package/package_header.h"

ChunkWalker::ChunkWalker(std::span<const uint8_t> package) {
    const int64_t available = static_cast<int64_t>(package.size());
    if (available < ENTRIES_OFFSET) return;
    const PackageHeader header = ReadPackageHeader(package.data());
    if (!header.plain_and_whole()) return;
    // The engine refuses a package that declares more than there is, before any chunk.
    if (header.length() > available || header.length() < ENTRIES_OFFSET) return;
    in_ = PackageCursor(package.data(), header.length(), BLOCK_SIZE_OFFSET);
    const int32_t block_size = in_.TakeI32();
    if (block_size < MIN_BLOCK_SIZE || block_size > MAX_BLOCK_SIZE) return;
    block_size_ = block_size;
}

int32_t ChunkWalker::capacity() const {
    return block_size_ + CHUNK_SLACK;
}

bool ChunkWalker::Next(ChunkRef& chunk) {
    if (!ok()) return false;
    while (!done_) {
        if (!in_chunks_) {
            if (!in_.Has(1)) break;
            const uint8_t name_length = in_.TakeByte();
            if (name_length == 0 || !in_.Has(PackageCursor::EntryHeadSize(name_length))) break;
            in_.Take(PackageCursor::EntryHeadSize(name_length));
            in_chunks_ = true;
            continue;
        }
        if (!in_.Has(4)) break;
        const int32_t length = in_.TakeI32();
        if (length > capacity()) break;
        if (length <= 0) {
            in_chunks_ = false;
            continue;
        }
        if (!in_.Has(length)) break;
        chunk = {in_.position(), length};
        in_.Take(length);
        return true;
    }
    done_ = true;
    return false;
}
