#include "tools/filespack/reading/package_source.h"

#include "pe/pe_image.h"

#include <algorithm>
#include <cstdio>

#include "package/extract_messages.h"
#include "package/package_format.h"
#include "package/package_header.h"
#include "tools/filespack/files/file_names.h"
#include "pe/pe_resources.h"
#include "tools/filespack/output/text_format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#endif

namespace {

PackageSource Fail(std::string why) {
    PackageSource source;
    source.error = std::move(why);
    return source;
}

#ifdef _WIN32
bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                   std::string& error) {
    std::FILE* file = OpenFile(path, "rb");
    if (!file) {
        error = "cannot open the file";
        return false;
    }
    // Growing by doubling would copy the package over and over and could hold twice its size.
    std::error_code size_error;
    const auto size = std::filesystem::file_size(path, size_error);
    if (!size_error && size <= SIZE_MAX) bytes.reserve(static_cast<size_t>(size));
    uint8_t buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) error = "cannot read the file";
    return !failed;
}

#else

// Pages are given back in steps of at least this much, not one system call per chunk.
constexpr size_t kReleaseStep = size_t{1} << 20;

// Reads up to `limit` bytes more; false with `error` set on a read error.
bool ReadUpTo(int fd, std::vector<uint8_t>& bytes, uint64_t limit, std::string& error) {
    uint8_t buffer[65536];
    while (limit > 0) {
        const auto want = static_cast<size_t>(std::min<uint64_t>(limit, sizeof buffer));
        const ssize_t got = ::read(fd, buffer, want);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read the file: ") + std::strerror(errno);
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
        limit -= static_cast<uint64_t>(got);
    }
    return true;
}

// A stream (a pipe, a device) is read only as far as what it starts with can reach: a package
// to its declared length, an executable to the largest a program can be, anything else no
// further than its first bytes, which already tell that it is not a package. /dev/zero and the
// like would otherwise fill the memory.
bool ReadAll(int fd, std::vector<uint8_t>& bytes, std::string& error) {
    constexpr uint64_t kHead = HEADER_SIZE;
    constexpr uint64_t kMaxExecutable = uint64_t{1} << 32;  // what a PE file's offsets reach
    if (!ReadUpTo(fd, bytes, kHead, error)) return false;
    uint64_t whole = bytes.size();
    const PackageHeader header =
        bytes.size() == kHead ? ReadPackageHeader(bytes.data()) : PackageHeader{};
    if (header.magic) {
        if (header.declared > 0) whole = static_cast<uint64_t>(header.length());
    } else if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
        whole = kMaxExecutable;
    }
    return whole <= bytes.size() || ReadUpTo(fd, bytes, whole - bytes.size(), error);
}

size_t PageSize() {
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<size_t>(page) : 4096;
}

// A mapped file that another program shortens while it is read turns every read past its new
// end into SIGBUS, which would kill the run with a cut file left behind. Inside the one mapping
// this process reads, the handler puts a page of zeros where the file's page was and notes it:
// the reader sees nonsense where the package ends, fails on it like on any damage, and the
// caller, told the file shrank, says so. A SIGBUS anywhere else is a real fault and kills.
std::atomic<const uint8_t*> guarded_data{nullptr};
std::atomic<size_t> guarded_size{0};
std::atomic<bool> guarded_shrank{false};

void OnBusError(int signal, siginfo_t* info, void*) {
    const auto* address = static_cast<const uint8_t*>(info->si_addr);
    const uint8_t* data = guarded_data.load();
    if (data != nullptr && address >= data && address < data + guarded_size.load()) {
        const uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~(uintptr_t{PageSize()} - 1);
        void* zeros = mmap(reinterpret_cast<void*>(page), PageSize(), PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            guarded_shrank.store(true);
            return;
        }
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void GuardMapping(const uint8_t* data, size_t size) {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    (void)installed;
    guarded_shrank.store(false);
    guarded_size.store(size);
    guarded_data.store(data);
}

void UnguardMapping(const uint8_t* data) {
    if (guarded_data.load() == data) guarded_data.store(nullptr);
}
#endif

}  // namespace

FileImage::~FileImage() {
    Reset();
}

FileImage::FileImage(FileImage&& other) noexcept {
    *this = std::move(other);
}

FileImage& FileImage::operator=(FileImage&& other) noexcept {
    if (this == &other) return *this;
    Reset();
    // A moved vector keeps its buffer, so data_ stays valid when it points into copy_.
    copy_ = std::move(other.copy_);
    data_ = other.data_;
    size_ = other.size_;
    mapped_ = other.mapped_;
    released_ = other.released_;
    descriptor_ = other.descriptor_;
    other.descriptor_ = -1;
    other.data_ = nullptr;
    other.size_ = 0;
    other.mapped_ = false;
    other.released_ = 0;
    other.copy_.clear();
    return *this;
}

void FileImage::Reset() {
#ifndef _WIN32
    if (mapped_) {
        UnguardMapping(data_);
        munmap(const_cast<uint8_t*>(data_), size_);
    }
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
#endif
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
    released_ = 0;
    copy_ = {};
}

void FileImage::Adopt(std::vector<uint8_t> bytes) {
    Reset();
    copy_ = std::move(bytes);
    data_ = copy_.data();
    size_ = copy_.size();
}

bool FileImage::Open(const std::filesystem::path& path, std::string& error) {
    Reset();
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open the file: ") + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        error = std::string("cannot read the file: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    // Mapping a length of 0 fails: an empty file is simply no bytes. Files that are not regular
    // (pipes, devices) are read instead.
    if (S_ISREG(info.st_mode) && info.st_size == 0) {
        ::close(fd);
        return true;
    }
    if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) <= SIZE_MAX) {
        const auto size = static_cast<size_t>(info.st_size);
        void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (at != MAP_FAILED) {
            descriptor_ = fd;  // kept, to see later whether the file was cut meanwhile
            madvise(at, size, MADV_SEQUENTIAL);
            data_ = static_cast<const uint8_t*>(at);
            size_ = size;
            mapped_ = true;
            GuardMapping(data_, size_);
            return true;
        }
    }
    // Read from this descriptor, not a new one: a pipe's writer may be gone by then.
    const bool read = ReadAll(fd, copy_, error);
    ::close(fd);
    if (!read) return false;
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
#else
    if (!ReadWholeFile(path, copy_, error)) return false;
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
#endif
}

void FileImage::ReleaseBefore(size_t end) const {
#ifndef _WIN32
    if (!mapped_) return;
    if (end > size_) end = size_;
    end -= end % PageSize();  // the mapping starts on a page
    if (end < released_ + kReleaseStep) return;
    madvise(const_cast<uint8_t*>(data_) + released_, end - released_, MADV_DONTNEED);
    released_ = end;
#else
    (void)end;
#endif
}

// A cut inside the last page the reader reaches gives zeros there without any fault, so the
// file's size is asked as well.
bool FileImage::Shrank() const {
#ifndef _WIN32
    if (!mapped_) return false;
    if (guarded_data.load() == data_ && guarded_shrank.load()) return true;
    struct stat info {};
    return fstat(descriptor_, &info) == 0 && static_cast<uint64_t>(info.st_size) < size_;
#else
    return false;
#endif
}

void FileImage::ReleaseAll() const {
#ifndef _WIN32
    if (!mapped_) return;
    madvise(const_cast<uint8_t*>(data_), size_, MADV_DONTNEED);
    released_ = 0;
#endif
}

void PackageSource::ReleaseConsumed(int64_t consumed) const {
    if (consumed <= 0) return;
    const auto done = static_cast<uint64_t>(consumed);
    file.ReleaseBefore(done >= length ? offset + length : offset + static_cast<size_t>(done));
}

PackageSource LoadPackage(const std::filesystem::path& path, const std::string& resource_name,
                          const std::string& choose_hint) {
    const std::string shown = PathToUtf8(path);
    PackageSource source;
    std::string why;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return Fail(shown + ": is a folder");
    if (!source.file.Open(path, why)) return Fail(shown + ": " + why);
    if (!LooksLikeExecutable(source.file.bytes())) {
        if (!resource_name.empty()) {
            return Fail(shown + ": --resource was given, but this is not an executable");
        }
        source.length = source.file.bytes().size();
        source.ok = true;
        return source;
    }
    const PeResourceScan scan = FindPeResources(source.file.bytes(), kPackageResourceType);
    if (!scan.ok) return Fail(shown + ": damaged executable: " + scan.error);
    const PeResource* chosen = nullptr;
    if (resource_name.empty()) {
        if (scan.resources.size() > 1) {
            std::string names;
            for (const auto& r : scan.resources) names += (names.empty() ? "" : ", ") + r.name;
            return Fail(shown + ": holds several packages (" + names + "); " + choose_hint);
        }
        if (!scan.resources.empty()) chosen = &scan.resources.front();
    } else {
        for (const auto& r : scan.resources) {
            if (ResourceNameMatches(r, resource_name)) {
                chosen = &r;
                break;
            }
        }
    }
    if (!chosen) {
        return Fail(shown + ": the executable carries no " + kPackageResourceType + " resource" +
                    (resource_name.empty() ? "" : " named " + resource_name));
    }
    source.offset = static_cast<size_t>(chosen->offset);
    source.length = chosen->size;
    source.resource = chosen->name;
    PeImage image;
    source.signature = image.Parse(source.file.bytes(), why) && image.has_signature()
                           ? Signature::PRESENT
                           : Signature::NONE;
    source.ok = true;
    return source;
}

std::string SignatureWords(const PackageSource& source) {
    switch (source.signature) {
        case Signature::PRESENT:
            return "; signature: present";
        case Signature::NONE:
            return "; signature: none";
        case Signature::NOT_AN_EXECUTABLE:
            break;
    }
    return "";
}

std::string ShrankWords(const std::string& shown) {
    return shown + ": " + DisplayName(READ_ERROR_TEXT) +
           " (another program cut the file short while it was read; what lay past the cut was "
           "not read)";
}
