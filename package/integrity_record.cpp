#include "package/integrity_record.h"

#include <algorithm>
#include <cstring>

#include "package/package_cursor.h"
#include "package/package_header.h"

namespace {

// The offset of the end byte, reached as the reader reaches it: by name lengths and chunk
// lengths alone, which no coding touches. -1 when the walk leaves the first `limit` bytes or
// meets a chunk the reader would refuse.
int64_t FindEndByte(const uint8_t* package, int64_t limit) {
    if (limit < ENTRIES_OFFSET) return -1;
    PackageCursor in(package, limit, BLOCK_SIZE_OFFSET);
    const int32_t block_size = in.TakeI32();
    if (block_size < MIN_BLOCK_SIZE || block_size > MAX_BLOCK_SIZE) return -1;
    const int64_t chunk_limit = int64_t{block_size} + CHUNK_SLACK;
    for (;;) {
        if (!in.Has(1)) return -1;
        const uint8_t name_length = in.TakeByte();
        if (name_length == 0) return in.position() - 1;
        if (!in.Has(PackageCursor::EntryHeadSize(name_length))) return -1;
        in.Take(PackageCursor::EntryHeadSize(name_length));
        for (;;) {
            if (!in.Has(4)) return -1;
            const int32_t chunk = in.TakeI32();
            if (chunk <= 0) break;
            if (chunk > chunk_limit || !in.Has(chunk)) return -1;
            in.Take(chunk);
        }
    }
}

bool IsMarker(const uint8_t* bytes) {
    return std::memcmp(bytes, INTEGRITY_MARKER, sizeof INTEGRITY_MARKER) == 0;
}

// Whether a record follows the end byte although the declared end does not show one: its marker
// or the declared length was damaged. The walk goes as far as the bytes really go, since a
// damaged length may end the package before its end byte.
bool RecordAfterEndByte(const uint8_t* package, int64_t length, int64_t available) {
    if (!ReadPackageHeader(package).magic) return false;
    const int64_t end_byte = FindEndByte(package, available);
    if (end_byte < 0) return false;
    const int64_t after = end_byte + 1;
    if (after < length && length - after == INTEGRITY_RECORD_SIZE) return true;  // marker hit
    const auto marker = static_cast<int64_t>(sizeof INTEGRITY_MARKER);
    return after + marker <= available && IsMarker(package + after);
}

// The digest in steps, each step told to `progress`; in one pass when there is nobody to tell
// or no memory for the stream's state.
void Digest(const uint8_t* bytes, size_t size, DigestProgress* progress,
            uint8_t digest[DIGEST_SIZE]) {
    constexpr size_t STEP = size_t{1} << 20;
    DigestStream stream;
    if (progress == nullptr || !stream.ok()) {
        DigestBytes(bytes, size, digest);
        return;
    }
    for (size_t done = 0; done < size;) {
        const size_t step = size - done < STEP ? size - done : STEP;
        stream.Update(bytes + done, step);
        done += step;
        progress->Passed(done);
    }
    stream.Finish(digest);
}

}  // namespace

IntegrityCheck CheckIntegrity(const uint8_t* package, size_t available,
                              DigestProgress* progress) {
    IntegrityCheck check;
    if (available < static_cast<size_t>(HEADER_SIZE)) return check;
    const PackageHeader header = ReadPackageHeader(package);
    if (header.declared <= 0) return check;
    const int64_t length = header.length();
    const int64_t real = static_cast<int64_t>(std::min<uint64_t>(available, INT64_MAX));
    const bool whole = length <= real;
    const bool marked = whole && length >= INTEGRITY_RECORD_SIZE &&
                        IsMarker(package + length - INTEGRITY_RECORD_SIZE);
    if (!marked && !RecordAfterEndByte(package, length, real)) return check;

    check.verdict = IntegrityVerdict::MISMATCH;
    if (!whole) {
        check.problem = IntegrityProblem::CUT_SHORT;
        return check;
    }
    if (!marked) {
        check.problem = IntegrityProblem::RECORD_DAMAGED;
        return check;
    }
    const auto covered = static_cast<size_t>(length) - DIGEST_SIZE;
    uint8_t digest[DIGEST_SIZE];
    Digest(package, covered, progress, digest);
    if (std::memcmp(digest, package + covered, DIGEST_SIZE) != 0) {
        check.problem = IntegrityProblem::DIGEST_DIFFERS;
        return check;
    }
    check.verdict = IntegrityVerdict::VERIFIED;
    return check;
}
