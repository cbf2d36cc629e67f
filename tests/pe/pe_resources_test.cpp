// Packages inside executables: a minimal PE32 or PE32+, read by the resource walk; damaged
// headers must be refused, never read past.
#include "pe/pe_resources.h"

#include <gtest/gtest.h>

#include "minimal_executable.h"

namespace {

std::vector<uint8_t> Blob(size_t size, uint8_t fill) {
    return std::vector<uint8_t>(size, fill);
}

// Nothing found may lie outside the bytes given.
void ExpectContained(const PeResourceScan& scan, size_t size) {
    for (const auto& r : scan.resources) {
        EXPECT_LE(r.offset, size);
        EXPECT_LE(r.size, size - r.offset);
    }
}

}  // namespace

TEST(PeResources, FindsNamedAndNumberedPackagesInBothKinds) {
    for (const bool plus : {false, true}) {
        const auto image = BuildExecutable(
            plus, {{std::string("QUOLTA"), Blob(100, 0xAB)}, {uint16_t{7}, Blob(33, 0xCD)}});
        const PeResourceScan scan = FindPeResources(image, "filespack");
        ASSERT_TRUE(scan.ok) << scan.error;
        ASSERT_EQ(scan.resources.size(), 2u);
        EXPECT_EQ(scan.resources[0].name, "QUOLTA");
        EXPECT_EQ(scan.resources[0].size, 100u);
        EXPECT_EQ(image[static_cast<size_t>(scan.resources[0].offset)], 0xAB);
        EXPECT_EQ(scan.resources[1].name, "#7");
        EXPECT_EQ(image[static_cast<size_t>(scan.resources[1].offset) + 32], 0xCD);
        EXPECT_TRUE(ResourceNameMatches(scan.resources[0], "quolta"));
        EXPECT_TRUE(ResourceNameMatches(scan.resources[1], "#7"));
        EXPECT_TRUE(ResourceNameMatches(scan.resources[1], "7"));
        EXPECT_FALSE(ResourceNameMatches(scan.resources[1], "17"));
        EXPECT_TRUE(FindPeResources(image, "OTHER").resources.empty());
    }
}

TEST(PeResources, DamagedHeadersAreRefusedWithoutReadingPastThem) {
    const auto image =
        BuildExecutable(false, {{std::string("QUOLTA"), Blob(64, 1)}, {uint16_t{3}, Blob(40, 2)}});
    // Every truncation.
    for (size_t size = 0; size <= image.size(); ++size) {
        const std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<ptrdiff_t>(size));
        ExpectContained(FindPeResources(cut, "FILESPACK"), size);
    }
    // Every header and tree byte set to values that break offsets and counts.
    for (size_t at = 0; at < image.size(); ++at) {
        for (const uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
            auto bent = image;
            bent[at] = value;
            ExpectContained(FindPeResources(bent, "FILESPACK"), bent.size());
        }
    }
    // A name directory that points back at the root.
    auto loop = image;
    const size_t name_dir_entry = kSectionFile + 16 + 8 + 16;
    loop[name_dir_entry + 4] = 0;
    loop[name_dir_entry + 5] = 0;
    const PeResourceScan scan = FindPeResources(loop, "FILESPACK");
    ExpectContained(scan, loop.size());
}
