#include "tools/filespack/files/file_stamp.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#ifdef _WIN32

std::optional<FileStamp> StampOf(std::FILE* file) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    stamp.changed = basic.ChangeTime.QuadPart;
    stamp.written = basic.LastWriteTime.QuadPart;
    return stamp;
}

#else

std::optional<FileStamp> StampOf(std::FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.changed = info.st_ctim.tv_sec;
    stamp.changed_fraction = info.st_ctim.tv_nsec;
    stamp.written = info.st_mtim.tv_sec;
    stamp.written_fraction = info.st_mtim.tv_nsec;
    return stamp;
}

#endif
