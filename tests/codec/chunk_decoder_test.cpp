#include <gtest/gtest.h>

#include <vector>

#include "codec/chunk_decoder.h"

TEST(ChunkDecoderTest, Placeholder) { EXPECT_EQ(sizeof(void*) >= 4, true); }
