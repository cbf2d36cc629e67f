// Cuts that follow the data: the pieces stay within the reader's rules, land where the data
// changes, never make a file larger than the fixed cuts, and every chunk still decodes with the
// frozen original decoders.
#include "package/chunk_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "package/package_cursor.h"
#include "package/package_writer.h"
#include "tests/codec/reference_pipeline.h"

namespace {

// Letters over 16 values (half a byte of information each), then uniform noise, then zeros:
// three kinds that one code fits badly.
std::vector<uint8_t> Changing(size_t letters, size_t noise, size_t zeros) {
    std::vector<uint8_t> data;
    uint32_t seed = 11;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<uint8_t>(seed >> 24);
    };
    for (size_t i = 0; i < letters; ++i) data.push_back(static_cast<uint8_t>('a' + next() % 16));
    for (size_t i = 0; i < noise; ++i) data.push_back(next());
    data.insert(data.end(), zeros, 0);
    return data;
}

struct Entry {
    std::string name;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> Write(const std::vector<Entry>& entries, int32_t block, bool fixed) {
    std::FILE* file = std::tmpfile();
    PackageWriter writer(file, block);
    writer.SetFixedPieces(fixed);
    for (const Entry& entry : entries) {
        EXPECT_TRUE(writer.AddFile({entry.name, ATTRIBUTE_ARCHIVE, {}}, entry.data.data(),
                                   entry.data.size()))
            << writer.error();
    }
    EXPECT_TRUE(writer.Finish()) << writer.error();
    std::vector<uint8_t> bytes;
    std::rewind(file);
    uint8_t buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
    return bytes;
}

// Every entry's contents as the original decoders give them back, chunk by chunk in a buffer of
// the reader's size, and the encoded length of each entry's chunks.
struct Decoded {
    std::vector<std::vector<uint8_t>> files;
    std::vector<size_t> chunk_bytes;
};

Decoded DecodeWithReference(const std::vector<uint8_t>& package) {
    Decoded decoded;
    PackageCursor in(package.data(), static_cast<int64_t>(package.size()), BLOCK_SIZE_OFFSET);
    const int32_t block = in.TakeI32();
    std::vector<uint8_t> buffer(static_cast<size_t>(block) + BUFFER_SLACK);
    while (in.Has(1)) {
        const uint8_t name_length = in.TakeByte();
        if (name_length == 0) break;
        in.Take(PackageCursor::EntryHeadSize(name_length));
        std::vector<uint8_t>& file = decoded.files.emplace_back();
        size_t& chunk_bytes = decoded.chunk_bytes.emplace_back(0);
        for (;;) {
            const int32_t length = in.TakeI32();
            if (length <= 0) break;
            EXPECT_LE(length, block + CHUNK_SLACK);
            const uint8_t* body = in.Take(length);
            std::copy(body, body + length, buffer.begin());
            const int32_t produced = ReferencePipeline(buffer.data(), length, block + CHUNK_SLACK);
            EXPECT_GT(produced, 0);
            if (produced <= 0) return decoded;
            file.insert(file.end(), buffer.begin(), buffer.begin() + produced);
            chunk_bytes += 4 + static_cast<size_t>(length);
        }
    }
    return decoded;
}

TEST(ChunkPlan, PiecesCoverTheDataWithinTheBlockSize) {
    const struct {
        int32_t block;
        size_t letters, noise, zeros;
    } cases[] = {
        {MIN_BLOCK_SIZE, 3000, 2500, 4000},  // a grid of 256 bytes, four points a block
        {65536, 100000, 70000, 90001},       // grid and block cuts interleaved, an odd end
        {65536, 1, 0, 0},
        {200000, 0, 0, 200000},  // exactly one block
        {200000, 250000, 150000, 16},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> data = Changing(c.letters, c.noise, c.zeros);
        const std::vector<size_t> pieces = PlannedPieces(data.data(), data.size(), c.block);
        SCOPED_TRACE(testing::Message() << "block " << c.block << ", " << data.size() << " bytes");
        EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), size_t{0}), data.size());
        for (const size_t piece : pieces) {
            EXPECT_GT(piece, 0u);
            EXPECT_LE(piece, static_cast<size_t>(c.block));
        }
        EXPECT_EQ(pieces, PlannedPieces(data.data(), data.size(), c.block));
    }
    EXPECT_TRUE(PlannedPieces(nullptr, 0, 65536).empty());
}

TEST(ChunkPlan, CutsWhereTheDataChanges) {
    // The change lies on the grid, in the middle of the fourth block.
    const int32_t block = 65536;
    const size_t change = 3 * 65536 + 32768;
    ASSERT_EQ(change % PlanGrid(block), 0u);
    const std::vector<uint8_t> data = Changing(change, 4 * 65536, 0);
    const std::vector<size_t> pieces = PlannedPieces(data.data(), data.size(), block);
    std::vector<size_t> cuts;
    std::partial_sum(pieces.begin(), pieces.end(), std::back_inserter(cuts));
    EXPECT_NE(std::find(cuts.begin(), cuts.end(), change), cuts.end());
}

// Packages must come out byte for byte alike wherever they are made; these plans were made on
// x86-64 Linux, and the Windows builds run the same check.
TEST(ChunkPlan, EveryPlatformCutsAlike) {
    const std::vector<uint8_t> large = Changing(100000, 70000, 90001);
    EXPECT_EQ(PlannedPieces(large.data(), large.size(), 65536),
              (std::vector<size_t>{32768, 65536, 65536, 8192, 24576, 63393}));
    const std::vector<uint8_t> small = Changing(3000, 2500, 4000);
    EXPECT_EQ(PlannedPieces(small.data(), small.size(), MIN_BLOCK_SIZE),
              (std::vector<size_t>{1024, 1024, 1024, 512, 1024, 1024, 1024, 1024, 1024, 796}));
}

TEST(ChunkPlan, PackagesDecodeWithTheOriginalDecodersAndNoFileGrows) {
    const std::vector<Entry> entries = {
        {"changing", Changing(3 * 65536 + 32768, 4 * 65536, 70000)},
        {"letters", Changing(300000, 0, 0)},
        {"noise", Changing(0, 140000, 0)},
        {"zeros", Changing(0, 0, 200001)},
        {"short", Changing(10, 0, 0)},
        {"empty", {}},
    };
    for (const int32_t block : {MIN_BLOCK_SIZE, 65536, 200000}) {
        SCOPED_TRACE(testing::Message() << "block " << block);
        const std::vector<uint8_t> fixed = Write(entries, block, true);
        const std::vector<uint8_t> planned = Write(entries, block, false);
        EXPECT_EQ(planned, Write(entries, block, false)) << "output must be deterministic";
        const Decoded by_fixed = DecodeWithReference(fixed);
        const Decoded by_plan = DecodeWithReference(planned);
        ASSERT_EQ(by_plan.files.size(), entries.size());
        ASSERT_EQ(by_fixed.files.size(), entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_TRUE(by_plan.files[i] == entries[i].data) << entries[i].name;
            EXPECT_TRUE(by_fixed.files[i] == entries[i].data) << entries[i].name;
            EXPECT_LE(by_plan.chunk_bytes[i], by_fixed.chunk_bytes[i]) << entries[i].name;
        }
        // The file whose character changes mid-block is where the plan must pay off.
        if (block == 65536) {
            EXPECT_LT(by_plan.chunk_bytes[0], by_fixed.chunk_bytes[0]);
        }
    }
}

}  // namespace
