// How fast the chunk pipeline decodes a package's chunks, as the engine decodes them: each body
// copied into the engine's buffer (block size + 512 bytes), then decoded in place by one
// decoder per pass, chunk after chunk, on one thread. No files are written, so what is timed
// is the codec and the memory it uses; the same source builds natively and for Windows, so the
// builds can be compared on the same data in one run (bench/windows-speed.sh).
//
//   decode_speed [--passes N] PACKAGE
//
// Prints the decoded size and the best of N passes (5 by default) in MB/s (10^6 bytes).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/chunk_decoder.h"
#include "package/package_cursor.h"
#include "package/package_header.h"

namespace {

struct Chunk {
    int64_t offset;
    int32_t length;
};

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "decode_speed: %s\n", text.c_str());
    std::exit(1);
}

// Every chunk body of a plain package, in order.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& package, int32_t& block_size) {
    if (package.size() < static_cast<size_t>(ENTRIES_OFFSET)) Fail("not a package");
    const PackageHeader header = ReadPackageHeader(package.data());
    if (!header.plain_and_whole() || header.length() > static_cast<int64_t>(package.size())) {
        Fail("not a whole plain package");
    }
    PackageCursor in(package.data(), header.length(), BLOCK_SIZE_OFFSET);
    block_size = in.TakeI32();
    std::vector<Chunk> chunks;
    for (;;) {
        if (!in.Has(1)) Fail("damaged package");
        const uint8_t name_length = in.TakeByte();
        if (name_length == 0) return chunks;
        if (!in.Has(PackageCursor::EntryHeadSize(name_length))) Fail("damaged package");
        in.Take(PackageCursor::EntryHeadSize(name_length));
        for (;;) {
            if (!in.Has(4)) Fail("damaged package");
            const int32_t length = in.TakeI32();
            if (length <= 0) break;
            if (!in.Has(length)) Fail("damaged package");
            chunks.push_back({in.position(), length});
            in.Take(length);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int passes = 5;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--passes" && i + 1 < argc) {
            passes = std::max(1, std::atoi(argv[++i]));
        } else if (path.empty() && !arg.empty() && arg[0] != '-') {
            path = arg;
        } else {
            Fail("usage: decode_speed [--passes N] PACKAGE");
        }
    }
    if (path.empty()) Fail("usage: decode_speed [--passes N] PACKAGE");
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> package{std::istreambuf_iterator<char>(file), {}};
    if (!file.good() && !file.eof()) Fail("cannot read " + path);

    int32_t block_size = 0;
    const std::vector<Chunk> chunks = Chunks(package, block_size);
    const int32_t capacity = block_size + CHUNK_SLACK;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(block_size) + BUFFER_SLACK]);
    double best = 1e300;
    int64_t decoded = 0;
    for (int pass = 0; pass < passes; ++pass) {
        // A stream is carried from chunk to chunk and ends with the package: each pass is a new
        // extraction, with a decoder of its own.
        ChunkDecoder decoder;
        decoded = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const Chunk& chunk : chunks) {
            std::memcpy(buffer.get(), package.data() + chunk.offset,
                        static_cast<size_t>(chunk.length));
            // As the engine asks: a stream's bytes stay where the decoder has them.
            const uint8_t* out = nullptr;
            const int32_t produced = decoder.Decode(buffer.get(), chunk.length, capacity, &out);
            if (produced <= 0) Fail("a chunk failed to decode");
            decoded += produced;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    std::printf("%lld bytes in %zu chunks; best of %d passes: %.1f MB/s\n",
                static_cast<long long>(decoded), chunks.size(), passes,
                static_cast<double>(decoded) / best / 1e6);
    return 0;
}
