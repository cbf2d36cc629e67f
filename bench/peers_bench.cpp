// Our chunk codec against general-purpose codecs, on the same pieces of the same files, in one
// run, on one thread. Prints one table of decode speeds and sizes, one of encode speeds, and a
// decode breakdown by kind of file (the prefix of a file's name up to its first '-').
//
//   peers_bench [--block B] [--runs N] [--no-xz] [--ours-only] FOLDER
//
// Every codec compresses the same pieces: each file cut into B-byte pieces (200000 by default),
// as the packer cuts them. Decode speeds are MB/s (10^6 bytes) of decoded output per second of
// the thread's own processor time (so that other work on a shared machine counts less), the best
// of N runs (5 by default); in each run every decoder goes once over all pieces, so what noise
// is left hurts them alike. Our stages work in place, so their time includes copying the input
// into the work buffer, as the extraction engine does.
#include <libdeflate.h>
#include <lzma.h>
#include <time.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/chunk_decoder.h"
#include "codec/chunk_encoder.h"
#include "codec/entropy_decode.h"
#include "codec/run_length_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Piece {
    const uint8_t* data;
    size_t size;
    size_t kind;
};

struct Options {
    int32_t block = 200000;
    int runs = 5;
    bool xz = true;
    bool peers = true;
    std::string folder;
};

// One codec's compressed pieces and a decoder for one of them into `out` (room: block + 512).
struct Codec {
    std::string name;
    std::vector<Bytes> packed;
    double encode_seconds = 0;
    // Returns the decoded size, or SIZE_MAX on failure.
    std::function<size_t(size_t index, uint8_t* out, size_t room)> decode;
    std::vector<double> best;  // per kind, seconds; the best run
    size_t output_bytes = 0;   // bytes a decode pass produces (differs for our single stages)
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

// Processor time of this thread.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--block" && i + 1 < argc) {
            o.block = std::atoi(argv[++i]);
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = std::atoi(argv[++i]);
        } else if (a == "--no-xz") {
            o.xz = false;
        } else if (a == "--ours-only") {
            o.peers = false;
        } else if (!a.empty() && a[0] != '-' && o.folder.empty()) {
            o.folder = a;
        } else {
            Fail("usage: peers_bench [--block B] [--runs N] [--no-xz] [--ours-only] FOLDER");
        }
    }
    if (o.folder.empty() || o.block < 1024 || o.block > 4000000 || o.runs < 1) {
        Fail("usage: peers_bench [--block 1024..4000000] [--runs N>=1] [--no-xz] [--ours-only] FOLDER");
    }
    return o;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- peers -------------------------------------------------------------------------------------

Bytes ZlibCompress(const Piece& p) {
    Bytes out(compressBound(static_cast<uLong>(p.size)));
    uLongf n = static_cast<uLongf>(out.size());
    if (compress2(out.data(), &n, p.data, static_cast<uLong>(p.size), 6) != Z_OK) Fail("zlib");
    out.resize(n);
    return out;
}

Bytes ZstdCompress(ZSTD_CCtx* cctx, const Piece& p) {
    Bytes out(ZSTD_compressBound(p.size));
    const size_t n = ZSTD_compressCCtx(cctx, out.data(), out.size(), p.data, p.size, 3);
    if (ZSTD_isError(n)) Fail("zstd");
    out.resize(n);
    return out;
}

Bytes DeflateCompress(libdeflate_compressor* c, const Piece& p) {
    Bytes out(libdeflate_zlib_compress_bound(c, p.size));
    const size_t n = libdeflate_zlib_compress(c, p.data, p.size, out.data(), out.size());
    if (n == 0) Fail("libdeflate");
    out.resize(n);
    return out;
}

Bytes XzCompress(const Piece& p) {
    Bytes out(lzma_stream_buffer_bound(p.size));
    size_t n = 0;
    if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, p.data, p.size, out.data(), &n,
                                out.size()) != LZMA_OK) {
        Fail("xz");
    }
    out.resize(n);
    return out;
}

template <typename F>
void CompressAll(Codec& c, const std::vector<Piece>& pieces, F compress) {
    const double start = CpuSeconds();
    for (const Piece& p : pieces) c.packed.push_back(compress(p));
    c.encode_seconds = CpuSeconds() - start;
}

size_t TotalSize(const std::vector<Bytes>& v) {
    size_t n = 0;
    for (const Bytes& b : v) n += b.size();
    return n;
}

std::string Megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

void PrintRule(std::initializer_list<int> widths) {
    std::printf("|");
    for (int w : widths) std::printf("%s|", std::string(static_cast<size_t>(w) + 2, '-').c_str());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) try {
    const Options options = ParseOptions(argc, argv);
    const auto block = static_cast<size_t>(options.block);

    // Files in name order, cut into pieces.
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::directory_iterator(options.folder)) {
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') paths.push_back(e);
    }
    std::sort(paths.begin(), paths.end());
    std::vector<Bytes> files;
    std::vector<std::string> kinds;
    std::vector<Piece> pieces;
    size_t input_bytes = 0;
    files.reserve(paths.size());
    for (const auto& path : paths) {
        files.push_back(ReadFile(path));
        const std::string name = path.filename().string();
        const std::string kind = name.substr(0, name.find('-'));
        const auto k =
            static_cast<size_t>(std::find(kinds.begin(), kinds.end(), kind) - kinds.begin());
        if (k == kinds.size()) kinds.push_back(kind);
        const Bytes& f = files.back();
        for (size_t at = 0; at < f.size(); at += block) {
            pieces.push_back({f.data() + at, std::min(block, f.size() - at), k});
        }
        input_bytes += f.size();
    }
    if (pieces.empty()) Fail("no data in " + options.folder);
    std::vector<size_t> kind_bytes(kinds.size());
    for (const Piece& p : pieces) kind_bytes[p.kind] += p.size;
    std::fprintf(stderr, "compressing %zu pieces...\n", pieces.size());

    // --- compress everything -------------------------------------------------------------------
    std::vector<Codec> codecs;
    codecs.reserve(8);  // the decoders hold references into it
    auto add = [&](std::string name) -> Codec& {
        codecs.push_back({});
        codecs.back().name = std::move(name);
        return codecs.back();
    };

    {
        Codec& ours = add("ours, chunk pipeline");
        const ChunkEncoder encoder;
        CompressAll(ours, pieces,
                    [&](const Piece& p) { return encoder.Encode(p.data, p.size, options.block); });
    }
    // The entropy stage's output is the run-length stage's input; made once, outside the clock.
    std::vector<Bytes> stage_one(pieces.size());
    {
        Bytes work(block + 512);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const Bytes& body = codecs[0].packed[i];
            std::memcpy(work.data(), body.data(), body.size());
            const int32_t n =
                EntropyDecode(work.data(), static_cast<int32_t>(body.size()), options.block + 16);
            if (n <= 0) Fail("entropy stage failed on our own chunk");
            stage_one[i].assign(work.begin(), work.begin() + n);
        }
    }
    const int32_t capacity = options.block + 16;
    auto our_stage = [&](const std::vector<Bytes>& inputs, auto stage) {
        return [&inputs, stage, capacity](size_t i, uint8_t* out, size_t) -> size_t {
            const Bytes& in = inputs[i];
            std::memcpy(out, in.data(), in.size());
            const int32_t n = stage(out, static_cast<int32_t>(in.size()), capacity);
            return n > 0 ? static_cast<size_t>(n) : SIZE_MAX;
        };
    };
    codecs[0].decode = our_stage(codecs[0].packed, [](uint8_t* b, int32_t n, int32_t cap) {
        return ChunkDecoder().Decode(b, n, cap);
    });
    {
        Codec& e = add("ours, entropy stage");
        e.packed = codecs[0].packed;
        e.decode = our_stage(codecs[0].packed, EntropyDecode);
        Codec& r = add("ours, run-length stage");
        r.packed = stage_one;
        r.decode = our_stage(stage_one, RunLengthDecode);
    }

    z_stream inflater{};
    if (inflateInit(&inflater) != Z_OK) Fail("inflateInit");
    if (options.peers) {
        Codec& c = add("zlib -6 (inflate)");
        CompressAll(c, pieces, ZlibCompress);
        c.decode = [&inflater, &c](size_t i, uint8_t* out, size_t room) -> size_t {
            if (inflateReset(&inflater) != Z_OK) return SIZE_MAX;
            inflater.next_in = c.packed[i].data();
            inflater.avail_in = static_cast<uInt>(c.packed[i].size());
            inflater.next_out = out;
            inflater.avail_out = static_cast<uInt>(room);
            if (inflate(&inflater, Z_FINISH) != Z_STREAM_END) return SIZE_MAX;
            return room - inflater.avail_out;
        };
    }
    libdeflate_compressor* deflater = libdeflate_alloc_compressor(6);
    libdeflate_decompressor* deflate_reader = libdeflate_alloc_decompressor();
    if (options.peers) {
        Codec& c = add("libdeflate -6");
        CompressAll(c, pieces, [&](const Piece& p) { return DeflateCompress(deflater, p); });
        c.decode = [deflate_reader, &c](size_t i, uint8_t* out, size_t room) -> size_t {
            size_t n = 0;
            if (libdeflate_zlib_decompress(deflate_reader, c.packed[i].data(), c.packed[i].size(),
                                           out, room, &n) != LIBDEFLATE_SUCCESS) {
                return SIZE_MAX;
            }
            return n;
        };
    }
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    if (options.peers) {
        Codec& c = add("zstd -3");
        CompressAll(c, pieces, [&](const Piece& p) { return ZstdCompress(cctx, p); });
        c.decode = [dctx, &c](size_t i, uint8_t* out, size_t room) -> size_t {
            const size_t n =
                ZSTD_decompressDCtx(dctx, out, room, c.packed[i].data(), c.packed[i].size());
            return ZSTD_isError(n) ? SIZE_MAX : n;
        };
    }
    if (options.peers && options.xz) {
        Codec& c = add("xz -6");
        CompressAll(c, pieces, XzCompress);
        c.decode = [&c](size_t i, uint8_t* out, size_t room) -> size_t {
            uint64_t memlimit = UINT64_MAX;
            size_t in_pos = 0;
            size_t out_pos = 0;
            if (lzma_stream_buffer_decode(&memlimit, 0, nullptr, c.packed[i].data(), &in_pos,
                                          c.packed[i].size(), out, &out_pos, room) != LZMA_OK) {
                return SIZE_MAX;
            }
            return out_pos;
        };
    }

    // --- check, then time the decoders ---------------------------------------------------------
    Bytes out(block + 512);
    for (Codec& c : codecs) {
        c.best.assign(kinds.size(), 1e300);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const size_t n = c.decode(i, out.data(), out.size());
            const bool stage_only = &c == &codecs[1];
            const uint8_t* want = stage_only ? stage_one[i].data() : pieces[i].data;
            const size_t want_size = stage_only ? stage_one[i].size() : pieces[i].size;
            if (n != want_size || std::memcmp(out.data(), want, n) != 0) {
                Fail(c.name + " decodes piece " + std::to_string(i) + " wrongly");
            }
            c.output_bytes += n;
        }
    }
    std::fprintf(stderr, "decoding, %d runs...\n", options.runs);
    // Files are in name order, so each kind's pieces follow one another: one clock reading per
    // stretch of a kind, not per piece (the clock costs a system call).
    std::vector<size_t> stretch_begin{0};
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (pieces[i].kind != pieces[i - 1].kind) stretch_begin.push_back(i);
    }
    stretch_begin.push_back(pieces.size());
    for (int run = 0; run < options.runs; ++run) {
        for (Codec& c : codecs) {
            std::vector<double> spent(kinds.size(), 0);
            for (size_t s = 0; s + 1 < stretch_begin.size(); ++s) {
                const double start = CpuSeconds();
                for (size_t i = stretch_begin[s]; i < stretch_begin[s + 1]; ++i) {
                    c.decode(i, out.data(), out.size());
                }
                spent[pieces[stretch_begin[s]].kind] += CpuSeconds() - start;
            }
            for (size_t k = 0; k < kinds.size(); ++k) c.best[k] = std::min(c.best[k], spent[k]);
        }
    }

    // --- report --------------------------------------------------------------------------------
    auto total_seconds = [](const Codec& c) {
        double s = 0;
        for (double t : c.best) s += t;
        return s;
    };
    const double ours = static_cast<double>(input_bytes) / total_seconds(codecs[0]);
    std::printf(
        "Data: %s in %zu files, cut into %zu pieces of at most %d bytes; every codec "
        "compresses the same pieces.\nDecode: best of %d runs, one thread, MB/s of "
        "decoded output per second of the thread's processor time; \"ours / peer\" = our chunk "
        "pipeline's speed / the peer's.\n\n",
        Megabytes(static_cast<double>(input_bytes)).c_str(), files.size(), pieces.size(),
        options.block, options.runs);
    std::printf("| %-24s | %12s | %7s | %11s | %11s |\n", "decoder", "compressed", "% of in",
                "decode MB/s", "ours / peer");
    PrintRule({24, 12, 7, 11, 11});
    for (const Codec& c : codecs) {
        const double speed = static_cast<double>(c.output_bytes) / total_seconds(c) / 1e6;
        const size_t packed = TotalSize(c.packed);
        const bool stage = &c == &codecs[1] || &c == &codecs[2];
        char ratio[32] = "";
        if (&c != &codecs[0] && !stage)
            std::snprintf(ratio, sizeof ratio, "%.2f", ours / 1e6 / speed);
        std::printf("| %-24s | %12zu | %7.2f | %11.0f | %11s |\n", c.name.c_str(), packed,
                    100.0 * static_cast<double>(packed) / static_cast<double>(input_bytes), speed,
                    ratio);
    }

    std::printf(
        "\nEncode (one pass, one thread, processor time; ours includes its own check that each "
        "chunk decodes):\n\n| %-24s | %11s | %11s |\n",
        "encoder", "encode MB/s", "ours / peer");
    PrintRule({24, 11, 11});
    const double our_encode = static_cast<double>(input_bytes) / codecs[0].encode_seconds;
    for (const Codec& c : codecs) {
        if (c.encode_seconds == 0) continue;
        const double speed = static_cast<double>(input_bytes) / c.encode_seconds;
        char ratio[32] = "";
        if (&c != &codecs[0]) std::snprintf(ratio, sizeof ratio, "%.2f", our_encode / speed);
        std::printf("| %-24s | %11.1f | %11s |\n", c.name.c_str(), speed / 1e6, ratio);
    }

    std::printf(
        "\nDecode by kind of file, MB/s (compressed size as %% of input):\n\n| %-7s | "
        "%9s |",
        "kind", "input");
    std::vector<size_t> shown;
    for (size_t i = 0; i < codecs.size(); ++i) {
        if (i == 1 || i == 2) continue;
        shown.push_back(i);
        std::printf(" %-17.17s |", codecs[i].name.c_str());
    }
    std::printf("\n");
    std::vector<int> widths{7, 9};
    for (size_t i = 0; i < shown.size(); ++i) widths.push_back(17);
    std::printf("|");
    for (int w : widths) std::printf("%s|", std::string(static_cast<size_t>(w) + 2, '-').c_str());
    std::printf("\n");
    for (size_t k = 0; k < kinds.size(); ++k) {
        std::printf("| %-7s | %9s |", kinds[k].c_str(),
                    Megabytes(static_cast<double>(kind_bytes[k])).c_str());
        for (size_t i : shown) {
            size_t packed = 0;
            for (size_t p = 0; p < pieces.size(); ++p) {
                if (pieces[p].kind == k) packed += codecs[i].packed[p].size();
            }
            const double speed = static_cast<double>(kind_bytes[k]) / codecs[i].best[k] / 1e6;
            std::printf(" %7.0f (%5.1f %%) |", speed,
                        100.0 * static_cast<double>(packed) / static_cast<double>(kind_bytes[k]));
        }
        std::printf("\n");
    }

    inflateEnd(&inflater);
    libdeflate_free_compressor(deflater);
    libdeflate_free_decompressor(deflate_reader);
    ZSTD_freeCCtx(cctx);
    ZSTD_freeDCtx(dctx);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "peers_bench: %s\n", e.what());
    return 1;
}
