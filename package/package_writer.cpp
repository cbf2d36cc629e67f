#include "package/package_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "codec/chunk_encoder.h"
#include "codec/frame_encode.h"
#include "codec/stream_encode.h"
#include "package/chunk_plan.h"
#include "package/integrity_record.h"
#include "package/name_rules.h"

namespace {

constexpr uint64_t MAX_I32 = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());

// Files are planned and encoded a stretch at a time, so that a file of any size needs a bounded
// amount of memory. A stretch is a whole number of blocks, so the fixed cuts within it are the
// file's own; its end is a cut in every plan, which costs a few bytes per stretch at most.
constexpr size_t kStretchBytes = size_t{8} << 20;
// Bounds the planner's tables at the smallest block sizes.
constexpr size_t kStretchGridPoints = 2048;

size_t StretchSize(int32_t block_size) {
    const auto block = static_cast<size_t>(block_size);
    const size_t blocks =
        std::min(kStretchBytes / block, kStretchGridPoints * PlanGrid(block_size) / block);
    return std::max<size_t>(blocks, 1) * block;
}

size_t EncoderThreads() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp<size_t>(hardware, 1, 4);
}

struct Piece {
    size_t offset;
    size_t size;
    bool body = true;  // false: only its encoded length is needed
};

struct Encoded {
    std::vector<std::vector<uint8_t>> bodies;
    std::vector<size_t> sizes;
};

// Runs `work` for each of `count` jobs on up to `threads` threads, this one included, each taking
// every n-th job: a share fixed in advance, so that every thread started has work even when
// starting it takes longer than the others need for the whole batch. A thread that cannot be
// started leaves its share to this one; memory that runs out fails the batch instead of ending
// the process. `work` gets the thread's share number (0 to threads - 1) and the job.
bool RunShares(size_t count, size_t threads, const std::function<void(size_t, size_t)>& work) {
    const size_t stride = std::max<size_t>(1, std::min(threads, count));
    std::atomic<bool> out_of_memory{false};
    auto share = [&](size_t first) {
        for (size_t job = first; job < count && !out_of_memory; job += stride) {
            try {
                work(first, job);
            } catch (const std::bad_alloc&) {
                out_of_memory = true;
            }
        }
    };
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(stride);
        for (size_t first = 1; first < stride; ++first) helpers.emplace_back(share, first);
    } catch (const std::exception&) {
        // std::system_error or std::bad_alloc: the shares of the threads not started follow
    }
    for (size_t first = helpers.size() + 1; first < stride; ++first) share(first);
    share(0);
    for (std::thread& helper : helpers) helper.join();
    return !out_of_memory;
}

// Encodes the pieces listed in `jobs` the classic way.
bool EncodeBatch(const uint8_t* data, const std::vector<Piece>& pieces,
                 const std::vector<size_t>& jobs, Encoded& encoded, size_t threads,
                 int32_t block_size) {
    const ChunkEncoder encoder;
    return RunShares(jobs.size(), threads, [&](size_t, size_t job) {
        const size_t i = jobs[job];
        const Piece& piece = pieces[i];
        if (piece.body) {
            encoded.bodies[i] = encoder.Encode(data + piece.offset, piece.size, block_size);
            encoded.sizes[i] = encoded.bodies[i].size();
        } else {
            encoded.sizes[i] = encoder.EncodedSize(data + piece.offset, piece.size, block_size);
        }
    });
}

// Piece offsets within a stretch, from piece lengths.
std::vector<Piece> Offsets(const std::vector<size_t>& sizes) {
    std::vector<Piece> pieces;
    pieces.reserve(sizes.size());
    size_t at = 0;
    for (const size_t size : sizes) {
        pieces.push_back({at, size});
        at += size;
    }
    return pieces;
}

// The writer promises a package the engine extracts, on Windows and elsewhere; what Windows
// itself would refuse or merge is for the caller to judge (create does, with the portable level).
bool IsStorableName(const std::string& name) {
    return !StoredNameProblem(name, NameLevel::engine);
}

}  // namespace

int DefaultLevel(ChunkMethod method) {
    return method == ChunkMethod::stream ? DEFAULT_STREAM_LEVEL : DEFAULT_FRAME_LEVEL;
}

int32_t DefaultBlockSize(ChunkMethod method, int64_t total) {
    if (method == ChunkMethod::classic) return DEFAULT_BLOCK_SIZE;
    constexpr int64_t kSteps = 32;
    constexpr int64_t kSmallest = 1000000;
    return static_cast<int32_t>(std::clamp<int64_t>((total + kSteps - 1) / kSteps, kSmallest,
                                                    MAX_BLOCK_SIZE));
}

PackageWriter::PackageWriter(std::FILE* out, int32_t block_size)
    : out_(out), block_size_(block_size) {}

PackageWriter::~PackageWriter() = default;

bool PackageWriter::Fail(std::string message) {
    error_ = std::move(message);
    return false;
}

bool PackageWriter::WriteBytes(const void* data, size_t size) {
    if (!ok_) return false;
    if (size != 0 && std::fwrite(data, 1, size, out_) != size) {
        ok_ = false;
        return Fail("cannot write the package");
    }
    written_ += size;
    return true;
}

bool PackageWriter::WriteU32(uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return WriteBytes(bytes, sizeof bytes);
}

bool PackageWriter::WriteI32(int32_t value) {
    return WriteU32(static_cast<uint32_t>(value));
}

bool PackageWriter::WriteU64(uint64_t value) {
    return WriteU32(static_cast<uint32_t>(value)) && WriteU32(static_cast<uint32_t>(value >> 32));
}

bool PackageWriter::WriteHeader() {
    if (header_written_) return ok_;
    if (out_ == nullptr) {
        ok_ = false;
        return Fail("no output file");
    }
    if (block_size_ < MIN_BLOCK_SIZE || block_size_ > MAX_BLOCK_SIZE) {
        ok_ = false;
        return Fail("block size must lie between 1024 and 4000000");
    }
    header_written_ = true;
    if (std::fgetpos(out_, &start_) != 0) {
        ok_ = false;
        return Fail("the package file is not seekable");
    }
    if (!WriteBytes(PACKAGE_MAGIC, sizeof PACKAGE_MAGIC) ||
        !WriteBytes(PLAIN_MARKER, sizeof PLAIN_MARKER)) {
        return false;
    }
    if (std::fgetpos(out_, &length_field_) != 0) {
        ok_ = false;
        return Fail("the package file is not seekable");
    }
    return WriteI32(0) && WriteBytes(PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE) &&
           WriteI32(block_size_);
}

bool PackageWriter::AddFile(const PackageEntryHead& head, const uint8_t* data, size_t size) {
    size_t offset = 0;
    return AddFile(head, size, [&](uint8_t* buffer, size_t count) {
        const size_t n = std::min(count, size - offset);
        if (n != 0) std::memcpy(buffer, data + offset, n);
        offset += n;
        return n;
    });
}

bool PackageWriter::AddFile(const PackageEntryHead& head, uint64_t size,
                            const std::function<size_t(uint8_t*, size_t)>& read) {
    error_.clear();
    if (finished_) return Fail("the package is already finished");
    if (!ok_) return Fail("an earlier failure left the package unusable");
    if (!WriteHeader()) return false;
    if (!IsStorableName(head.name)) {
        return Fail(
            "file name cannot be stored (empty, longer than 255 bytes, not Shift-JIS, "
            "a folder part, a control character, or a reserved name): " +
            head.name);
    }
    if (size > MAX_I32) return Fail("file is 2 GiB or larger: " + head.name);
    if (static_cast<uint64_t>(size_total_) + size > MAX_I32) {
        return Fail("the files add up to 2 GiB or more, more than a package holds");
    }
    if (method_ == ChunkMethod::stream &&
        static_cast<uint64_t>(size_total_) + size > stream_total_) {
        return Fail("the files add up to more than the stream's total");
    }
    const auto name_length = static_cast<uint8_t>(head.name.size());
    const bool head_ok = WriteBytes(&name_length, 1) &&
                         WriteBytes(head.name.data(), head.name.size()) &&
                         WriteI32(static_cast<int32_t>(size)) && WriteU32(head.attributes) &&
                         WriteU64(head.times.creation) && WriteU64(head.times.last_access) &&
                         WriteU64(head.times.last_write);
    if (!head_ok) return false;
    if (!WriteChunks(size, read)) {
        // The entry is half written; nothing after it could be read back.
        ok_ = false;
        return false;
    }
    size_total_ += static_cast<int64_t>(size);
    return WriteI32(0);
}

bool PackageWriter::WriteChunks(uint64_t size,
                                const std::function<size_t(uint8_t*, size_t)>& read) {
    // A stream's stretches are whole pieces, so that only the file's end cuts one short.
    const size_t piece = StreamPieceLimit(block_size_);
    const size_t stretch_size = method_ == ChunkMethod::stream
                                    ? std::max<size_t>(kStretchBytes / piece, 1) * piece
                                    : StretchSize(block_size_);
    std::vector<uint8_t> stretch;
    uint64_t remaining = size;
    while (remaining > 0) {
        const auto length = static_cast<size_t>(std::min<uint64_t>(stretch_size, remaining));
        stretch.resize(length);
        size_t filled = 0;
        while (filled < length) {
            const size_t got = read(stretch.data() + filled, length - filled);
            if (got == 0 || got > length - filled) {
                return Fail("the file delivered fewer bytes than its size");
            }
            filled += got;
        }
        remaining -= length;
        if (!WriteStretch(stretch.data(), length)) return false;
    }
    return true;
}

// Weighs the stretch cut both ways, the fixed cuts and the planned ones, and writes whichever
// comes out shorter: the plan works from an estimate, and a file must never grow for it. Pieces
// the two plans share are encoded once; the fixed plan's own pieces are first only measured, as
// the plan usually wins.
bool PackageWriter::WriteStretch(const uint8_t* data, size_t size) {
    if (method_ == ChunkMethod::zstd) return WriteFrameStretch(data, size);
    if (method_ == ChunkMethod::stream) return WriteStreamStretch(data, size);
    const std::vector<size_t> fixed_sizes = FixedPieces(size, block_size_);
    std::vector<size_t> planned_sizes;
    if (!fixed_pieces_) planned_sizes = PlannedPieces(data, size, block_size_);
    if (planned_sizes == fixed_sizes) planned_sizes.clear();

    std::vector<Piece> pieces = Offsets(fixed_sizes);
    std::vector<size_t> fixed(pieces.size());
    for (size_t i = 0; i < fixed.size(); ++i) fixed[i] = i;
    std::vector<size_t> planned;
    std::vector<bool> shared(pieces.size(), planned_sizes.empty());
    const auto block = static_cast<size_t>(block_size_);
    for (const Piece& piece : Offsets(planned_sizes)) {
        const size_t at = piece.offset / block;
        if (piece.offset % block == 0 && fixed_sizes[at] == piece.size) {
            planned.push_back(at);
            shared[at] = true;
            continue;
        }
        planned.push_back(pieces.size());
        pieces.push_back(piece);
    }
    std::vector<size_t> fixed_only;
    for (size_t i = 0; i < fixed.size(); ++i) {
        if (shared[i]) continue;
        pieces[i].body = false;
        fixed_only.push_back(i);
    }

    Encoded encoded;
    encoded.bodies.resize(pieces.size());
    encoded.sizes.resize(pieces.size());
    std::vector<size_t> jobs(pieces.size());
    for (size_t i = 0; i < jobs.size(); ++i) jobs[i] = i;
    const size_t threads = EncoderThreads();
    if (!EncodeBatch(data, pieces, jobs, encoded, threads, block_size_)) {
        return Fail("out of memory while encoding");
    }
    auto written = [&](const std::vector<size_t>& plan) {
        uint64_t total = 0;
        for (const size_t i : plan) total += 4 + encoded.sizes[i];
        return total;
    };
    const bool use_plan = !planned.empty() && written(planned) < written(fixed);
    if (!use_plan && !fixed_only.empty()) {
        for (const size_t i : fixed_only) pieces[i].body = true;
        if (!EncodeBatch(data, pieces, fixed_only, encoded, threads, block_size_)) {
            return Fail("out of memory while encoding");
        }
    }
    return WriteBodies(encoded.bodies, use_plan ? planned : fixed);
}

// Fixed pieces, each a frame unless the classic encoding is at least as short. The pieces are
// large and few, so each thread keeps one encoder (its context is tens of megabytes at the high
// levels) and takes whole pieces.
bool PackageWriter::WriteFrameStretch(const uint8_t* data, size_t size) {
    const std::vector<Piece> pieces = Offsets(FixedPieces(size, block_size_));
    std::vector<std::vector<uint8_t>> bodies(pieces.size());
    const size_t threads = std::min(EncoderThreads(), pieces.size());
    std::vector<std::unique_ptr<FrameEncoder>> encoders(std::max<size_t>(threads, 1));
    const ChunkEncoder classic;
    const bool encoded = RunShares(pieces.size(), threads, [&](size_t share, size_t i) {
        if (!encoders[share]) encoders[share] = std::make_unique<FrameEncoder>(level_);
        const Piece& piece = pieces[i];
        std::vector<uint8_t> frame =
            encoders[share]->Encode(data + piece.offset, piece.size, block_size_);
        std::vector<uint8_t> plain = classic.Encode(data + piece.offset, piece.size, block_size_);
        bodies[i] = !frame.empty() && frame.size() < plain.size() ? std::move(frame)
                                                                  : std::move(plain);
    });
    if (!encoded) return Fail("out of memory while encoding");
    std::vector<size_t> order(pieces.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    return WriteBodies(bodies, order);
}

// Pieces of the package's one stream, in order, on this thread: each continues the one before.
// A piece the library cannot shrink costs only its raw blocks' headers, so none is classic.
bool PackageWriter::WriteStreamStretch(const uint8_t* data, size_t size) {
    if (!stream_) stream_ = std::make_unique<StreamEncoder>(level_, stream_total_, block_size_);
    const size_t limit = StreamPieceLimit(block_size_);
    for (size_t at = 0; at < size; at += limit) {
        const size_t piece = std::min(limit, size - at);
        std::vector<uint8_t> body;
        try {
            body = stream_->Encode(data + at, piece);
        } catch (const std::bad_alloc&) {
            return Fail("out of memory while encoding");
        }
        if (body.empty()) return Fail("the stream encoder failed");
        if (!WriteBodies({body}, {0})) return false;
    }
    return true;
}

bool PackageWriter::WriteBodies(const std::vector<std::vector<uint8_t>>& bodies,
                                const std::vector<size_t>& order) {
    const size_t limit = static_cast<size_t>(block_size_) + CHUNK_SLACK;
    for (const size_t i : order) {
        const std::vector<uint8_t>& body = bodies[i];
        if (body.empty() || body.size() > limit) {
            return Fail("the encoder produced a chunk the reader would refuse");
        }
        if (!WriteI32(static_cast<int32_t>(body.size())) || !WriteBytes(body.data(), body.size())) {
            return false;
        }
    }
    return true;
}

bool PackageWriter::Finish() {
    error_.clear();
    if (finished_) return Fail("the package is already finished");
    if (!ok_) return Fail("an earlier failure left the package unusable");
    if (!WriteHeader()) return false;
    finished_ = true;
    const uint8_t end_byte = 0;
    if (!WriteBytes(&end_byte, 1)) return false;
    if (size_total_ == 0) {
        ok_ = false;
        return Fail("the files add up to 0 bytes; such a package never extracts");
    }
    if (method_ == ChunkMethod::stream && static_cast<uint64_t>(size_total_) != stream_total_) {
        ok_ = false;
        return Fail("the files add up to less than the stream's total");
    }
    if (integrity_record_) {
        const uint8_t unsealed[DIGEST_SIZE] = {};
        if (!WriteBytes(INTEGRITY_MARKER, sizeof INTEGRITY_MARKER)) return false;
        if (std::fgetpos(out_, &digest_field_) != 0) {
            ok_ = false;
            return Fail("the package file is not seekable");
        }
        if (!WriteBytes(unsealed, sizeof unsealed)) return false;
    }
    const uint64_t declared = written_ - static_cast<uint64_t>(LENGTH_BASE);
    if (declared > MAX_I32) {
        ok_ = false;
        return Fail("the package is 2 GiB or longer, more than its length field holds");
    }
    if (!PatchLength(declared)) return false;
    return !integrity_record_ || SealRecord();
}

bool PackageWriter::PatchLength(uint64_t declared) {
    std::fpos_t end{};
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(declared >> (8 * i));
    const bool patched = std::fgetpos(out_, &end) == 0 && std::fsetpos(out_, &length_field_) == 0 &&
                         std::fwrite(bytes, 1, 4, out_) == 4 && std::fsetpos(out_, &end) == 0 &&
                         std::fflush(out_) == 0;
    if (!patched) {
        ok_ = false;
        return Fail("cannot write the package's length");
    }
    return true;
}

// The digest covers the length field, known only now, so it is taken from the bytes as they
// lie in the file: what was really written, not what was meant to be.
bool PackageWriter::SealRecord() {
    DigestStream stream;
    if (!stream.ok()) {
        ok_ = false;
        return Fail("out of memory for the integrity record");
    }
    uint64_t remaining = written_ - DIGEST_SIZE;
    std::vector<uint8_t> buffer(size_t{1} << 20);
    if (std::fsetpos(out_, &start_) != 0) {
        ok_ = false;
        return Fail("cannot read the package back for its integrity record");
    }
    while (remaining > 0) {
        const auto want = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
        if (std::fread(buffer.data(), 1, want, out_) != want) {
            ok_ = false;
            return Fail("cannot read the package back for its integrity record");
        }
        stream.Update(buffer.data(), want);
        remaining -= want;
    }
    uint8_t digest[DIGEST_SIZE];
    stream.Finish(digest);
    const bool sealed = std::fsetpos(out_, &digest_field_) == 0 &&
                        std::fwrite(digest, 1, sizeof digest, out_) == sizeof digest &&
                        std::fflush(out_) == 0;
    if (!sealed) {
        ok_ = false;
        return Fail("cannot write the package's integrity record");
    }
    return true;
}
