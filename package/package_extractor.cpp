#include "package/package_extractor.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "codec/chunk_decoder.h"
#include "package/extract_messages.h"
#include "package/folder_spellings.h"
#include "package/little_endian.h"
#include "package/package_format.h"
#include "package/package_header.h"
#include "package/platform_file.h"

namespace {

constexpr int32_t MAX_NAME_LENGTH = 255;
constexpr int64_t MAX_I32 = std::numeric_limits<int32_t>::max();

}  // namespace

// One run of Extract: the working state that lives only while a package is being extracted.
class PackageExtraction {
  public:
    PackageExtraction(PackageExtractor& engine, const char* folder, ExtractResult* result)
        : engine_(engine), folder_(folder), result_(result) {}

    bool Run() {
        if (result_ != nullptr) std::memset(result_, 0, sizeof *result_);
        if (!CheckHeader() || !ReadBlockSize()) return false;
        if (SpellsAFolderTwoWays()) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
        buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(block_size_) + BUFFER_SLACK]);
        if (buffer_ == nullptr) return Fail(ExtractFailure::out_of_memory, nullptr);
        capacity_ = block_size_ + CHUNK_SLACK;
        output_.Open(folder_, engine_.creation_record_);
        if (!ExtractEntries()) return false;
        if (size_total_ == 0) return Fail(ExtractFailure::nothing_to_extract, nullptr);
        if (result_ != nullptr) {
            result_->file_count = file_count_;
            std::snprintf(result_->message, sizeof result_->message, COMPLETE_FORMAT,
                          static_cast<int>(file_count_));
        }
        PostProgress();
        return true;
    }

  private:
    // A null `text` leaves the message empty.
    bool Fail(ExtractFailure failure, const char* text) {
        if (result_ != nullptr) {
            result_->failure = failure;
            if (text != nullptr) {
                std::snprintf(result_->message, sizeof result_->message, "%s", text);
            }
        }
        return false;
    }

    bool FailNamed(ExtractFailure failure, const char* format) {
        if (result_ != nullptr) {
            result_->failure = failure;
            std::snprintf(result_->message, sizeof result_->message, format, name_);
        }
        return false;
    }

    bool CheckHeader() {
        uint8_t header[HEADER_SIZE];
        engine_.total_length = HEADER_SIZE;
        if (engine_.Read(header, HEADER_SIZE) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
        const PackageHeader fields = ReadPackageHeader(header);
        if (!fields.magic) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
        engine_.total_length = fields.length();
        if (fields.declared <= 0) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
        // The header may claim more than was handed over; nothing past what exists is read.
        if (engine_.total_length > engine_.available_) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
        if (fields.plain) {
            engine_.coder = nullptr;
            if (!fields.signature) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
            return true;
        }
        if (!CoderAccepts(header + MARKER_OFFSET, header + SIGNATURE_OFFSET)) {
            if (result_ != nullptr) result_->coder_error = 1;
            return Fail(ExtractFailure::coder, CODER_ERROR_TEXT);
        }
        return true;
    }

    bool CoderAccepts(const uint8_t* marker, uint8_t* signature) {
        PackageCoder* coder = engine_.coder;
        if (coder == nullptr) return false;
        uint8_t copy[sizeof PLAIN_MARKER];
        std::memcpy(copy, marker, sizeof copy);
        if (coder->Accept(copy + 1, 3) == 0) return false;
        if (std::memcmp(copy, marker, sizeof copy) != 0) return false;
        coder->Transform(signature, sizeof PACKAGE_SIGNATURE);
        return std::memcmp(signature, PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE) == 0;
    }

    bool ReadBlockSize() {
        uint8_t bytes[4];
        if (engine_.Read(bytes, sizeof bytes) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
        block_size_ = LoadI32(bytes);
        if (block_size_ < MIN_BLOCK_SIZE || block_size_ > MAX_BLOCK_SIZE) {
            return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
        }
        return true;
    }

    // Judged over the whole package before the first file, so that nothing is made of a tree
    // Windows and POSIX would lay out differently. A coded package's names are only read as
    // its coder decodes them, once and in order, so its entries go unjudged here.
    bool SpellsAFolderTwoWays() const {
        if (engine_.coder != nullptr || engine_.memory_source == nullptr) return false;
        const int64_t end =
            engine_.total_length < engine_.available_ ? engine_.total_length : engine_.available_;
        if (engine_.position >= end) return false;
        return ::SpellsAFolderTwoWays(engine_.memory_source + engine_.position,
                                      static_cast<size_t>(end - engine_.position));
    }

    bool ExtractEntries() {
        for (;;) {
            uint8_t* buffer = buffer_.get();
            if (engine_.Read(buffer, 1) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
            const int32_t name_length = buffer[0];
            if (name_length == 0) return StreamEnded();
            if (!ExtractEntry(name_length)) return false;
            // The total is kept wide, so "passing 2147483647" is seen without any wrap.
            if (size_total_ < 0 || size_total_ > MAX_I32) {
                return Fail(ExtractFailure::too_large, nullptr);
            }
        }
    }

    // The package's stream chunks hold one whole frame: one still open at the end ran on past
    // the last of them, which is that chunk's failure.
    bool StreamEnded() {
        ChunkSource* source = engine_.chunk_source_;
        const bool open = source != nullptr && engine_.coder == nullptr ? source->StreamOpen()
                                                                        : decoder_.StreamOpen();
        if (!open) return true;
        std::memcpy(name_, stream_name_, sizeof name_);
        return FailNamed(ExtractFailure::decode, DECODE_ERROR_FORMAT);
    }

    bool ExtractEntry(int32_t name_length) {
        uint8_t* buffer = buffer_.get();
        if (engine_.Read(buffer, name_length + 4) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
        std::memcpy(name_, buffer, static_cast<size_t>(name_length));
        PackageCoder* coder = engine_.coder;
        if (coder != nullptr) coder->Transform(reinterpret_cast<uint8_t*>(name_), name_length);
        name_[name_length] = '\0';
        const int32_t size = LoadI32(buffer + name_length);
        size_total_ += size;
        int64_t expected = size;

        uint8_t unit[ENTRY_UNIT_SIZE];
        if (engine_.Read(unit, ENTRY_UNIT_SIZE) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
        if (coder != nullptr) coder->Transform(unit, ENTRY_UNIT_SIZE);
        const uint32_t attributes = LoadU32(unit + UNIT_ATTRIBUTES);
        EntryTimes times;
        times.creation = LoadU64(unit + UNIT_CREATION);
        times.last_access = LoadU64(unit + UNIT_LAST_ACCESS);
        times.last_write = LoadU64(unit + UNIT_LAST_WRITE);

        const platform::EntryPath composed =
            platform::ComposeEntryPath(folder_, name_, static_cast<size_t>(name_length), path_);
        if (composed == platform::EntryPath::refused_name) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
        if (composed == platform::EntryPath::too_long) return Fail(ExtractFailure::write, WRITE_ERROR_TEXT);
        const FileHandle file = platform::CreateNewFile(output_, path_);
        if (file == INVALID_FILE) return Fail(ExtractFailure::write, WRITE_ERROR_TEXT);
        ++file_count_;

        const bool complete = CopyChunks(file, expected);
        // A file cut short by an error keeps what it has, and its times and attributes too.
        platform::SetFileTimes(file, times);
        platform::CloseFile(file);
        platform::ApplyFileAttributes(output_, path_, attributes);
        return complete;
    }

    bool CopyChunks(FileHandle file, int64_t expected) {
        uint8_t* buffer = buffer_.get();
        for (;;) {
            uint8_t length_bytes[4];
            if (engine_.Read(length_bytes, sizeof length_bytes) == 0) {
                return Fail(ExtractFailure::read, READ_ERROR_TEXT);
            }
            const int32_t length = LoadI32(length_bytes);
            if (length > capacity_) return FailNamed(ExtractFailure::segment_size, SEGMENT_SIZE_ERROR_FORMAT);
            if (length <= 0) {
                if (expected != 0) return Fail(ExtractFailure::format, FORMAT_ERROR_TEXT);
                return true;
            }
            const uint8_t* decoded = buffer;
            int32_t produced = 0;
            PackageCoder* coder = engine_.coder;
            ChunkSource* source = engine_.chunk_source_;
            // A coded body must be transformed before it is decoded, which only happens here.
            if (source != nullptr && coder == nullptr) {
                const int64_t body = engine_.position;
                if (engine_.Skip(length) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
                produced = source->DecodedChunk(body, length, capacity_, &decoded);
            } else {
                if (engine_.Read(buffer, length) == 0) return Fail(ExtractFailure::read, READ_ERROR_TEXT);
                if (coder != nullptr) coder->Transform(buffer, length);
                produced = decoder_.Decode(buffer, length, capacity_, &decoded);
            }
            // More than the capacity would mean the decoder broke its word; never write it.
            if (produced <= 0 || produced > capacity_) return FailNamed(ExtractFailure::decode, DECODE_ERROR_FORMAT);
            expected -= produced;
            if (expected < 0) return FailNamed(ExtractFailure::decode, DECODE_ERROR_FORMAT);
            if (!platform::WriteToFile(file, decoded, produced)) {
                return FailNamed(ExtractFailure::write, WRITE_ERROR_FORMAT);
            }
            std::memcpy(stream_name_, name_, sizeof name_);
            PostProgress();
        }
    }

    // The target may be detached from another thread at any moment: read it first and skip the
    // report when there is none, then the message.
    void PostProgress() {
        ProgressListener* const target = std::atomic_ref<ProgressListener*>(engine_.progress_window)
                                             .load(std::memory_order_acquire);
        if (target == nullptr) return;
        const uint32_t message =
            std::atomic_ref<uint32_t>(engine_.progress_message).load(std::memory_order_acquire);
        target->OnProgress(message, engine_.position, engine_.total_length);
    }

    PackageExtractor& engine_;
    const char* folder_;
    ExtractResult* result_;
    int32_t block_size_ = 0;
    int32_t capacity_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    ChunkDecoder decoder_;
    int32_t file_count_ = 0;
    int64_t size_total_ = 0;
    char name_[MAX_NAME_LENGTH + 1] = {};
    char stream_name_[MAX_NAME_LENGTH + 1] = {};  // the file of the last chunk written
    char path_[platform::OUTPUT_PATH_CAPACITY] = {};
    platform::OutputFolder output_;
};

PackageExtractor::PackageExtractor()
    : progress_window(nullptr),
      progress_message(PROGRESS_MESSAGE_DEFAULT),
      file_source(INVALID_FILE),
      memory_source(nullptr),
      position(0),
      total_length(0),
      coder(nullptr),
      creation_disposition(CREATE_NEW_DISPOSITION),
      available_(std::numeric_limits<int64_t>::max()),
      chunk_source_(nullptr),
      creation_record_(nullptr) {}

PackageExtractor::~PackageExtractor() = default;

void PackageExtractor::SetProgressTarget(ProgressListener* target, uint32_t message) {
    std::atomic_ref<ProgressListener*>(progress_window).store(target, std::memory_order_release);
    std::atomic_ref<uint32_t>(progress_message).store(message, std::memory_order_release);
}

int PackageExtractor::Read(void* buffer, int32_t n) {
    if (n < 0) return 0;
    if (file_source != INVALID_FILE) {
        if (!platform::ReadFromSource(file_source, buffer, n)) return 0;
        position += n;
        return 1;
    }
    if (memory_source == nullptr) return 0;
    const int64_t bound = total_length < available_ ? total_length : available_;
    if (position < 0 || position > bound || n > bound - position) return 0;
    if (n > 0) std::memcpy(buffer, memory_source + position, static_cast<size_t>(n));
    position += n;
    return 1;
}

int PackageExtractor::Skip(int32_t n) {
    if (n < 0 || memory_source == nullptr || file_source != INVALID_FILE) return 0;
    const int64_t bound = total_length < available_ ? total_length : available_;
    if (position < 0 || position > bound || n > bound - position) return 0;
    position += n;
    return 1;
}

void PackageExtractor::SetChunkSource(ChunkSource* source) {
    chunk_source_ = source;
}

void PackageExtractor::SetCreationRecord(CreationRecord* record) {
    creation_record_ = record;
}

int PackageExtractor::Extract(const uint8_t* package, size_t available, const char* folder,
                              ExtractResult* result) {
    if (file_source != INVALID_FILE) {
        platform::CloseSource(file_source);
        file_source = INVALID_FILE;
    }
    memory_source = package;
    constexpr auto max_available = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    available_ = static_cast<uint64_t>(available) > max_available
                     ? std::numeric_limits<int64_t>::max()
                     : static_cast<int64_t>(available);
    total_length = 0;
    position = 0;
    bool extracted = false;
    {
        PackageExtraction extraction(*this, folder, result);
        extracted = extraction.Run();
    }
    // The caller's buffer may be gone as soon as this returns, whatever the outcome.
    memory_source = nullptr;
    if (!extracted) return 0;
    // The result's count is 32-bit; a longer package is reported at its largest value.
    if (result != nullptr) {
        result->byte_count = static_cast<int32_t>(total_length > MAX_I32 ? MAX_I32 : total_length);
    }
    return 1;
}
