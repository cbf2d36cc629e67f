// The engine's system calls on POSIX systems: names converted from Shift-JIS to UTF-8, files
// created exclusively without following links.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

#include "package/entry_name.h"
#include "package/name_encoding.h"
#include "package/platform_file.h"

namespace platform {

namespace {

constexpr int64_t TICKS_PER_SECOND = 10000000;
constexpr int64_t NANOSECONDS_PER_TICK = 100;

// Windows leaves a time alone when given 0 (and all ones), so that is what those values mean.
timespec ToTimespec(FileTime value) {
    timespec time{};
    if (value == 0 || value == ~FileTime{0}) {
        time.tv_nsec = UTIME_OMIT;
        return time;
    }
    constexpr auto epoch_seconds = static_cast<int64_t>(FILETIME_UNIX_EPOCH / TICKS_PER_SECOND);
    const auto seconds = static_cast<int64_t>(value / TICKS_PER_SECOND) - epoch_seconds;
    const auto remainder = static_cast<int64_t>(value % TICKS_PER_SECOND);
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(remainder * NANOSECONDS_PER_TICK);
    return time;
}

uint64_t Identity(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_ino) : 0;
}

int ToDescriptor(FileHandle file) {
    return static_cast<int>(file);
}

}  // namespace

EntryPath ComposeEntryPath(const char* folder, const char* name, size_t name_length, char* path) {
    std::string utf8;
    if (!ShiftJisToUtf8(std::string_view(name, name_length), utf8)) {
        return EntryPath::refused_name;
    }
    // Decoded, no backslash is the second byte of a character: each one separates folders.
    if (EntryTreeProblem(utf8, HasNoLeadBytes)) return EntryPath::refused_name;
    if (folder == nullptr) return EntryPath::too_long;
    const size_t folder_length = std::strlen(folder);
    if (folder_length + 1 + utf8.size() + 1 > OUTPUT_PATH_CAPACITY) return EntryPath::too_long;
    std::memcpy(path, folder, folder_length);
    path[folder_length] = '/';
    char* const tail = path + folder_length + 1;
    for (size_t i = 0; i < utf8.size(); ++i) tail[i] = utf8[i] == '\\' ? '/' : utf8[i];
    tail[utf8.size()] = '\0';
    return EntryPath::ok;
}

OutputFolder::~OutputFolder() {
    CloseParent();
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

void OutputFolder::Open(const char* folder, CreationRecord* record) {
    record_ = record;
    if (folder == nullptr) return;
    handle_ = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    prefix_ = std::strlen(folder) + 1;
}

void OutputFolder::CloseParent() {
    if (parent_ >= 0 && parent_ != handle_) close(static_cast<int>(parent_));
    parent_ = -1;
}

// Each folder of the name is walked from the destination again for every file, never through a
// link: a folder swapped for a link since the last file stops the run instead of being followed.
FileHandle CreateNewFile(OutputFolder& folder, const char* path) {
    folder.CloseParent();
    if (folder.handle_ < 0) return INVALID_FILE;
    int at = static_cast<int>(folder.handle_);
    size_t from = folder.prefix_;
    for (const char* slash; (slash = std::strchr(path + from, '/')) != nullptr;) {
        const auto end = static_cast<size_t>(slash - path);
        const std::string part(path + from, end - from);
        const bool made = mkdirat(at, part.c_str(), 0777) == 0;
        const bool there = made || errno == EEXIST;
        const int next =
            there ? openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
        if (at != folder.handle_) close(at);
        if (next < 0) return INVALID_FILE;
        if (made && folder.record_ != nullptr) {
            folder.record_->OnFolderCreated(path, end, Identity(next));
        }
        at = next;
        from = end + 1;
    }
    folder.parent_ = at;
    folder.leaf_ = from;
    const int fd = openat(at, path + from, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666);
    if (fd < 0) return INVALID_FILE;
    if (folder.record_ != nullptr) folder.record_->OnFileCreated(path, Identity(fd));
    return fd;
}

bool WriteToFile(FileHandle file, const uint8_t* data, int32_t size) {
    if (size < 0) return false;
    auto left = static_cast<size_t>(size);
    while (left > 0) {
        const ssize_t written = write(ToDescriptor(file), data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// There is no creation time to set here.
void SetFileTimes(FileHandle file, const EntryTimes& times) {
    const timespec both[2] = {ToTimespec(times.last_access), ToTimespec(times.last_write)};
    futimens(ToDescriptor(file), both);
}

void CloseFile(FileHandle file) {
    close(ToDescriptor(file));
}

// Only read-only has a meaning here: it takes away the write permissions. The file is opened
// again without following links, so a link put in its place is left alone.
void ApplyFileAttributes(const OutputFolder& folder, const char* path, uint32_t attributes) {
    if ((attributes & ATTRIBUTE_READONLY) == 0 || folder.parent_ < 0) return;
    const int fd = openat(static_cast<int>(folder.parent_), path + folder.leaf_,
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        fchmod(fd, status.st_mode & 07555);
    }
    close(fd);
}

bool ReadFromSource(FileHandle source, void* buffer, int32_t size) {
    if (size < 0) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    auto left = static_cast<size_t>(size);
    while (left > 0) {
        const ssize_t got = read(ToDescriptor(source), bytes, left);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        left -= static_cast<size_t>(got);
    }
    return true;
}

void CloseSource(FileHandle source) {
    close(ToDescriptor(source));
}

}  // namespace platform
