#include "tools/filespack/files/file_metadata.h"

#include "tools/filespack/output/text_format.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

#ifdef _WIN32

namespace {

FileTime FromFiletime(const FILETIME& t) {
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

std::string LastErrorText() {
    return "Windows error " + std::to_string(GetLastError());
}

}  // namespace

bool ReadFileMetadata(const std::filesystem::path& path, FileMetadata& metadata,
                      std::string& error) {
    // CreateFileW follows links, which GetFileAttributesExW would not.
    const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastErrorText();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok) {
        error = LastErrorText();
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        metadata.kind = FileKind::kDirectory;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
        metadata.kind = FileKind::kOther;
    } else {
        metadata.kind = FileKind::kRegular;
    }
    metadata.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    // Only the bits SetFileAttributes can give back; compression, encryption and the like
    // belong to the volume, not to the file's contents.
    metadata.attributes = info.dwFileAttributes & (ATTRIBUTE_READONLY | ATTRIBUTE_HIDDEN |
                                                   ATTRIBUTE_SYSTEM | ATTRIBUTE_ARCHIVE);
    if (metadata.attributes == 0) metadata.attributes = ATTRIBUTE_NORMAL;
    metadata.times.creation = FromFiletime(info.ftCreationTime);
    metadata.times.last_access = FromFiletime(info.ftLastAccessTime);
    metadata.times.last_write = FromFiletime(info.ftLastWriteTime);
    return true;
}

#else

namespace {

FileTime FromTimespec(int64_t seconds, int64_t nanoseconds) {
    // Times before 1601 cannot be stored; such a file gets the earliest time there is.
    return FileTimeFromUnix(seconds, static_cast<uint32_t>(nanoseconds)).value_or(0);
}

}  // namespace

bool ReadFileMetadata(const std::filesystem::path& path, FileMetadata& metadata,
                      std::string& error) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISREG(info.stx_mode)) {
        metadata.kind = FileKind::kRegular;
    } else if (S_ISDIR(info.stx_mode)) {
        metadata.kind = FileKind::kDirectory;
    } else {
        metadata.kind = FileKind::kOther;
    }
    metadata.size = info.stx_size;
    metadata.attributes = ATTRIBUTE_ARCHIVE;
    if ((info.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        metadata.attributes |= ATTRIBUTE_READONLY;
    }
    metadata.times.last_write = FromTimespec(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    metadata.times.last_access = FromTimespec(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    // Some file systems report a birth time of exactly 1970-01-01 when they never kept one.
    const bool born = (info.stx_mask & STATX_BTIME) &&
                      (info.stx_btime.tv_sec != 0 || info.stx_btime.tv_nsec != 0);
    metadata.times.creation = born ? FromTimespec(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                                   : metadata.times.last_write;
    return true;
}

#endif
