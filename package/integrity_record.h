// The integrity record: a digest of the whole package, carried inside the package's declared
// length, after the end byte, where no reader of the format looks. A package that carries one
// extracts everywhere exactly as one without it.
//
//   offset L + 24 - 24   8 bytes   INTEGRITY_MARKER: 89 58 58 48 31 32 38 1A ("\x89XXH128\x1A")
//   offset L + 24 - 16  16 bytes   XXH3-128 of bytes 0 to L + 24 - 17 (everything before the
//                                  digest, marker included), canonical big-endian order
//
// The writer puts the record directly after the end byte, so the package ends with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/integrity_digest.h"

inline constexpr uint8_t INTEGRITY_MARKER[8] = {0x89, 'X', 'X', 'H', '1', '2', '8', 0x1A};
inline constexpr int32_t INTEGRITY_RECORD_SIZE = 24;  // marker and digest

// A flipped bit of L moves the package's end by a power of two. Were the record that long, one
// flip could drop it whole and leave what reads as a package without one.
static_assert((INTEGRITY_RECORD_SIZE & (INTEGRITY_RECORD_SIZE - 1)) != 0);
static_assert(INTEGRITY_RECORD_SIZE == sizeof INTEGRITY_MARKER + DIGEST_SIZE);

enum class IntegrityVerdict {
    NO_RECORD,  // a package without a record (or no package at all): nothing to check
    VERIFIED,   // every byte is as it was written
    MISMATCH,   // the package carries a record, and it is not as it was written
};

enum class IntegrityProblem {
    NONE,
    DIGEST_DIFFERS,   // the bytes do not give the recorded digest
    RECORD_DAMAGED,   // the record's marker is damaged, or the length no longer ends at it
    CUT_SHORT,        // the package declares more bytes than there are
};

struct IntegrityCheck {
    IntegrityVerdict verdict = IntegrityVerdict::NO_RECORD;
    IntegrityProblem problem = IntegrityProblem::NONE;
};

// Checks the package at `package`, of which `available` bytes really exist. Reads nothing
// beyond them. A record counts as present when its marker ends the declared length, or when one
// follows the end byte that the reader's walk reaches (a damaged length may end the package
// before or after it), or when exactly a record's length follows the end byte (a damaged
// marker). A package without a record reads as one only if the bytes after its end byte are
// exactly 24 or start with the marker, which no writer of the plain format makes.
//
// `progress`, when given, hears as the digest is taken how many bytes from the start it has
// read, so that a caller whose package is a mapped file can give those pages back: the package
// then never sits in memory whole. Without it the digest is taken in one pass.
class DigestProgress {
  public:
    virtual void Passed(size_t bytes) = 0;

  protected:
    ~DigestProgress() = default;
};

IntegrityCheck CheckIntegrity(const uint8_t* package, size_t available,
                              DigestProgress* progress = nullptr);
