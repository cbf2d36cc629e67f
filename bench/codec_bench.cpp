// Chunk encode and decode throughput on the kinds of data a package carries.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "tests/codec/codec_test_data.h"

namespace {

using namespace codec_test;

// The block size the packer uses by default for large files.
constexpr int32_t kBlock = 200000;

std::vector<uint8_t> Sample(int kind) {
    switch (kind) {
        case 0:
            return TextLike(kBlock, 1);
        case 1:
            return RandomBytes(kBlock, 2);
        case 2:
            return RunHeavy(kBlock, 3);
        default:
            return BinaryLike(kBlock, 4);
    }
}

const char* KindName(int kind) {
    static const char* const kNames[] = {"text", "random", "runs", "binary"};
    return kNames[kind];
}

void BM_Encode(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    const std::vector<uint8_t> data = Sample(kind);
    size_t body_size = 0;
    for (auto _ : state) {
        const auto body = ChunkEncoder().Encode(data.data(), data.size(), kBlock);
        body_size = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
    state.SetLabel(KindName(kind));
    state.counters["ratio"] = static_cast<double>(body_size) / static_cast<double>(data.size());
}

void BM_Decode(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    const std::vector<uint8_t> data = Sample(kind);
    const auto body = ChunkEncoder().Encode(data.data(), data.size(), kBlock);
    std::vector<uint8_t> buffer(static_cast<size_t>(kBlock) + 512);
    for (auto _ : state) {
        std::memcpy(buffer.data(), body.data(), body.size());
        const int32_t n =
            ChunkDecoder().Decode(buffer.data(), static_cast<int32_t>(body.size()), kBlock + 16);
        if (n != static_cast<int32_t>(data.size())) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
    state.SetLabel(KindName(kind));
}

BENCHMARK(BM_Encode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
