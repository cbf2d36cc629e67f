// The integrity record: every single-bit flip and every cut of a package that carries one is
// caught, and packages without one are left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "package/integrity_record.h"
#include "test_support.h"

namespace {

int32_t DeclaredLength(const std::vector<uint8_t>& package) {
    int32_t declared = 0;
    std::memcpy(&declared, package.data() + 20, 4);
    return declared;
}

// A package as the writer ends it: the end byte, then the marker and the digest of all before.
std::vector<uint8_t> Sealed(std::vector<uint8_t> package) {
    package.insert(package.end(), std::begin(INTEGRITY_MARKER), std::end(INTEGRITY_MARKER));
    PutI32(package, 20, static_cast<int32_t>(package.size() + DIGEST_SIZE) - LENGTH_BASE);
    uint8_t digest[DIGEST_SIZE];
    DigestBytes(package.data(), package.size(), digest);
    package.insert(package.end(), digest, digest + DIGEST_SIZE);
    return package;
}

std::vector<uint8_t> SmallPackage() {
    return PackageBuilder()
        .StoredFile("Setup.exe", std::string(300, 'x'))
        .StoredFile("empty.txt", "")
        .StoredFile("readme.txt", "hello", ATTRIBUTE_ARCHIVE | ATTRIBUTE_READONLY,
                    {130000000000000000ULL, 130000000000000001ULL, 130000000000000002ULL})
        .Finish();
}

IntegrityVerdict Verdict(const std::vector<uint8_t>& package) {
    return CheckIntegrity(package.data(), package.size()).verdict;
}

TEST(IntegrityRecord, EveryBitFlipIsCaught) {
    const std::vector<uint8_t> sealed = Sealed(SmallPackage());
    ASSERT_EQ(Verdict(sealed), IntegrityVerdict::VERIFIED);
    for (size_t at = 0; at < sealed.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> damaged = sealed;
            damaged[at] = static_cast<uint8_t>(damaged[at] ^ (1u << bit));
            const IntegrityVerdict verdict = Verdict(damaged);
            // The one flip that hides the record is L's sign, and the reader refuses L <= 0.
            if (DeclaredLength(damaged) <= 0) {
                EXPECT_NE(verdict, IntegrityVerdict::VERIFIED) << "byte " << at << " bit " << bit;
                continue;
            }
            EXPECT_EQ(verdict, IntegrityVerdict::MISMATCH) << "byte " << at << " bit " << bit;
        }
    }
}

TEST(IntegrityRecord, CutsAreCaughtWhereTheReaderWouldNot) {
    const std::vector<uint8_t> sealed = Sealed(SmallPackage());
    const size_t end_byte = sealed.size() - INTEGRITY_RECORD_SIZE - 1;
    for (size_t kept = 0; kept < sealed.size(); ++kept) {
        const IntegrityCheck check = CheckIntegrity(sealed.data(), kept);
        EXPECT_NE(check.verdict, IntegrityVerdict::VERIFIED) << kept;
        // A cut before the end byte stops the reader itself; one after it only the check.
        if (kept > end_byte) {
            EXPECT_EQ(check.verdict, IntegrityVerdict::MISMATCH) << kept;
            EXPECT_EQ(check.problem, IntegrityProblem::CUT_SHORT) << kept;
        }
    }
    // The bytes behind a package (an executable's, another file's) are not its business.
    std::vector<uint8_t> followed = sealed;
    followed.insert(followed.end(), 100, 0xEE);
    EXPECT_EQ(Verdict(followed), IntegrityVerdict::VERIFIED);
}

TEST(IntegrityRecord, DamageThatMovesTheRecordIsNotMistakenForNoRecord) {
    const std::vector<uint8_t> sealed = Sealed(SmallPackage());
    // L shortened by anything but the whole record: what follows the end byte still shows it.
    for (int32_t shorter = 1; shorter < INTEGRITY_RECORD_SIZE; ++shorter) {
        std::vector<uint8_t> damaged = sealed;
        PutI32(damaged, 20, DeclaredLength(sealed) - shorter);
        EXPECT_EQ(Verdict(damaged), IntegrityVerdict::MISMATCH) << shorter;
    }
    std::vector<uint8_t> marker_hit = sealed;
    marker_hit[sealed.size() - INTEGRITY_RECORD_SIZE] = 0;
    const IntegrityCheck check = CheckIntegrity(marker_hit.data(), marker_hit.size());
    EXPECT_EQ(check.verdict, IntegrityVerdict::MISMATCH);
    EXPECT_EQ(check.problem, IntegrityProblem::RECORD_DAMAGED);
}

TEST(IntegrityRecord, PackagesWithoutOneAreLeftAlone) {
    const std::vector<uint8_t> plain = SmallPackage();
    EXPECT_EQ(Verdict(plain), IntegrityVerdict::NO_RECORD);
    // The format lets bytes follow the end byte within L; unless they look like a record they
    // are none of the check's business.
    for (const size_t extra : {size_t{1}, size_t{7}, size_t{23}, size_t{25}, size_t{100}}) {
        std::vector<uint8_t> trailing = plain;
        trailing.insert(trailing.end(), extra, 'j');
        PutI32(trailing, 20, DeclaredLength(plain) + static_cast<int32_t>(extra));
        EXPECT_EQ(Verdict(trailing), IntegrityVerdict::NO_RECORD) << extra;
    }
    for (const std::vector<uint8_t>& odd :
         {std::vector<uint8_t>{}, std::vector<uint8_t>(40, 0), std::vector<uint8_t>(5, 'F')}) {
        EXPECT_EQ(Verdict(odd), IntegrityVerdict::NO_RECORD);
    }
}

// A caller that gives back the pages behind the digest gets the same verdicts.
TEST(IntegrityRecord, StepsReportedToTheCallerGiveTheSameVerdict) {
    struct Steps : DigestProgress {
        std::vector<size_t> passed;
        void Passed(size_t bytes) override { passed.push_back(bytes); }
    };
    std::string large(3 << 20, 'x');
    for (size_t i = 0; i < large.size(); i += 7) large[i] = static_cast<char>(i >> 9);
    const std::vector<uint8_t> sealed =
        Sealed(PackageBuilder(MAX_BLOCK_SIZE).StoredFile("big.bin", large).Finish());
    const std::vector<uint8_t> damaged = [&] {
        std::vector<uint8_t> bytes = sealed;
        bytes[sealed.size() / 2] ^= 0x10;
        return bytes;
    }();
    for (const std::vector<uint8_t>* package : {&sealed, &damaged}) {
        Steps steps;
        EXPECT_EQ(CheckIntegrity(package->data(), package->size(), &steps).verdict,
                  Verdict(*package));
        ASSERT_GT(steps.passed.size(), 1u);
        EXPECT_TRUE(std::is_sorted(steps.passed.begin(), steps.passed.end()));
        EXPECT_EQ(steps.passed.back(), package->size() - DIGEST_SIZE);
    }
}

// The digest is the one `xxh128sum` prints, whichever way it is taken.
TEST(IntegrityDigest, MatchesXxh128sumInOnePassAndInPieces) {
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 131 + 7) % 251);
    const struct {
        size_t size;
        const char* hex;
    } cases[] = {{0, "99aa06d3014798d86001c324468d497f"},
                 {3, "de0de73b78221781d079cb72d5dc8fe3"},
                 {100000, "0af6b8609f8d1f2ed61c58ce093c4ea0"}};
    for (const auto& c : cases) {
        uint8_t whole[DIGEST_SIZE];
        DigestBytes(data.data(), c.size, whole);
        std::string hex;
        for (const uint8_t byte : whole) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        EXPECT_EQ(hex, c.hex) << c.size;
        DigestStream stream;
        ASSERT_TRUE(stream.ok());
        for (size_t at = 0; at < c.size; at += 4099) {
            stream.Update(data.data() + at, std::min<size_t>(4099, c.size - at));
        }
        uint8_t pieces[DIGEST_SIZE];
        stream.Finish(pieces);
        EXPECT_EQ(std::memcmp(pieces, whole, DIGEST_SIZE), 0) << c.size;
    }
}

}  // namespace
