#include "ui/window_arithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(ProgressPercent, WholePercentOfTheBytesConsumed) {
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 66);
    EXPECT_EQ(ProgressPercent(0, 77), 0);
    EXPECT_EQ(ProgressPercent(77, 77), 100);
    EXPECT_EQ(ProgressPercent(199, 200), 99);
}

TEST(ProgressPercent, LargePackagesDoNotOverflow) {
    EXPECT_EQ(ProgressPercent(2000000000, 2100000000), 95);
    // The first count at which 100 * done leaves 32 bits.
    EXPECT_EQ(ProgressPercent(21474837, 42949674), 50);
    const int32_t most = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(ProgressPercent(most - 1, most), 99);
    EXPECT_EQ(ProgressPercent(most, most), 100);
}

TEST(ProgressPercent, ValuesNoSoundPackageGivesStayOnTheBar) {
    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(5, 0), 0);
    EXPECT_EQ(ProgressPercent(5, -3), 0);
    EXPECT_EQ(ProgressPercent(-5, 10), 0);
    EXPECT_EQ(ProgressPercent(std::numeric_limits<int32_t>::max(), 1), 100);
}

TEST(CentredOrigin, CentresOnTheScreenTruncatingTowardZero) {
    EXPECT_EQ(CentredOrigin(1024, 381), 321);
    EXPECT_EQ(CentredOrigin(768, 260), 254);
    EXPECT_EQ(CentredOrigin(1024, 1024), 0);
    // Wider than the screen: -3.5 becomes -3, not -4.
    EXPECT_EQ(CentredOrigin(1024, 1031), -3);
}

}  // namespace
