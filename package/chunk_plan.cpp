#include "package/chunk_plan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "codec/entropy_encode.h"

namespace {

// Costs are in 1/65536 of a bit.
constexpr int kFractionBits = 16;
constexpr int kMantissaBits = 12;

// log2(1 + m / 4096) for every 12-bit m, by repeated squaring in integers: a table computed
// with the floating-point library could differ in its last bit from one runtime to another, and
// then so would the cuts, and the packages.
constexpr std::array<uint32_t, 1u << kMantissaBits> MakeLog2Mantissas() {
    std::array<uint32_t, 1u << kMantissaBits> table{};
    constexpr uint64_t one = uint64_t{1} << 30;
    for (uint32_t m = 0; m < table.size(); ++m) {
        uint64_t y = (uint64_t{1u << kMantissaBits} + m) << (30 - kMantissaBits);
        uint32_t result = 0;
        for (int bit = 0; bit < kFractionBits; ++bit) {
            y = (y * y) >> 30;
            result <<= 1;
            if (y >= 2 * one) {
                y >>= 1;
                result |= 1;
            }
        }
        table[m] = result;
    }
    return table;
}

constexpr std::array<uint32_t, 1u << kMantissaBits> kLog2Mantissas = MakeLog2Mantissas();

// log2(x) for x ≥ 1, in 1/65536 of a bit.
int64_t Log2(uint64_t x) {
    const int exponent = static_cast<int>(std::bit_width(x)) - 1;
    const uint64_t top = exponent >= kMantissaBits ? x >> (exponent - kMantissaBits)
                                                   : x << (kMantissaBits - exponent);
    const auto mantissa = static_cast<size_t>(top - (uint64_t{1} << kMantissaBits));
    return (int64_t{exponent} << kFractionBits) + kLog2Mantissas[mantissa];
}

constexpr int64_t Bits(int64_t bytes) {
    return bytes * 8 << kFractionBits;
}

// What a coded chunk carries besides its codes: the declared length, the group count and about
// a dozen group lengths, 256 group indexes of four bits, and on average half a byte of padding.
constexpr int64_t kDescriptionBytes = 4 + 1 + 12 + 128 + 1;
// The chunk's length field in the package.
constexpr int64_t kLengthFieldBytes = 4;
// Each chunk costs the decoder a fixed set-up (its body copied, its code's tables built, a
// run-length scratch block filled and copied back), worth some thousands of bytes of decoding.
// Counting each chunk as this many bytes of package keeps the planner to the cuts that save the
// most: on executables it makes about 1.8 chunks per block instead of 5, for four fifths of the
// saving, and decoding stays within a few percent of the fixed cuts' speed.
constexpr int64_t kDecodeSetupBytes = 1000;

// The encoder stores a piece plainly unless a code saves 1/64 of that; the estimate follows it.
constexpr int64_t kWorthCoding = 64;

// Estimated bits of the chunk for a piece with these byte counts, plus its share of the reader's
// set-up cost: the order-0 entropy of the piece plus its description, or the stored form.
int64_t PieceCost(const ByteCounts& counts, size_t size) {
    const auto n = static_cast<int64_t>(size);
    int64_t entropy = n * Log2(static_cast<uint64_t>(size));
    for (const uint64_t c : counts) {
        if (c > 1) entropy -= static_cast<int64_t>(c) * Log2(c);
    }
    const int64_t coded = entropy + Bits(kDescriptionBytes);
    const int64_t stored_bytes = n + 7;
    const int64_t worth = Bits(stored_bytes - stored_bytes / kWorthCoding);
    const int64_t body = coded < worth ? coded : Bits(stored_bytes);
    return body + Bits(kLengthFieldBytes + kDecodeSetupBytes);
}

// Every grid point and every fixed cut below `size`, then `size`.
std::vector<size_t> CutPoints(size_t size, size_t block, size_t grid) {
    std::vector<size_t> points;
    size_t at = 0;
    while (at < size) {
        points.push_back(at);
        const size_t next_grid = (at / grid + 1) * grid;
        const size_t next_block = (at / block + 1) * block;
        at = std::min({next_grid, next_block, size});
    }
    points.push_back(size);
    return points;
}

}  // namespace

size_t PlanGrid(int32_t block_size) {
    const auto block = static_cast<size_t>(std::max<int32_t>(block_size, 1024));
    // About 12 points per block at the default size; at most 64 per block, so that the planning
    // stays a small part of the encoding at the largest block sizes.
    return std::max({std::min<size_t>(block / 8, 16384), block / 64, size_t{256}});
}

std::vector<size_t> FixedPieces(size_t size, int32_t block_size) {
    std::vector<size_t> pieces;
    if (block_size <= 0) return pieces;
    const auto block = static_cast<size_t>(block_size);
    for (size_t at = 0; at < size; at += block) pieces.push_back(std::min(block, size - at));
    return pieces;
}

std::vector<size_t> PlannedPieces(const uint8_t* data, size_t size, int32_t block_size) {
    if (size == 0 || block_size <= 0) return {};
    const auto block = static_cast<size_t>(block_size);
    const std::vector<size_t> points = CutPoints(size, block, PlanGrid(block_size));
    const size_t cells = points.size() - 1;
    std::vector<ByteCounts> cell_counts(cells);
    for (size_t c = 0; c < cells; ++c) {
        cell_counts[c] = CountBytes(data + points[c], points[c + 1] - points[c]);
    }

    // Cheapest estimate of the data before each point, and the point its last piece starts at.
    std::vector<int64_t> best(points.size(), std::numeric_limits<int64_t>::max());
    std::vector<size_t> from(points.size(), 0);
    best[0] = 0;
    ByteCounts piece{};
    for (size_t i = 0; i < cells; ++i) {
        piece.fill(0);
        for (size_t j = i + 1; j < points.size() && points[j] - points[i] <= block; ++j) {
            const ByteCounts& cell = cell_counts[j - 1];
            for (size_t b = 0; b < piece.size(); ++b) piece[b] += cell[b];
            const int64_t cost = best[i] + PieceCost(piece, points[j] - points[i]);
            // Strictly cheaper only: among equal plans the first found wins, on every platform.
            if (cost < best[j]) {
                best[j] = cost;
                from[j] = i;
            }
        }
    }

    std::vector<size_t> pieces;
    for (size_t j = cells; j > 0; j = from[j]) pieces.push_back(points[j] - points[from[j]]);
    std::reverse(pieces.begin(), pieces.end());
    return pieces;
}
