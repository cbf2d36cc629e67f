#include "tools/filespack/files/package_file.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr char kSuffix[] = ".partial";
constexpr size_t kRandomChars = 6;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kAlphabetSize = sizeof kAlphabet - 1;
constexpr int kAttempts = 100;

// ".NAME." and ".partial" around random characters: hidden where a leading dot hides, and
// unique per run, so that concurrent runs for one target never share a file.
std::filesystem::path::string_type Prefix(const std::filesystem::path& target) {
    return std::filesystem::path::string_type(1, '.') + target.filename().native() +
           std::filesystem::path::string_type(1, '.');
}

std::filesystem::path::string_type Suffix() {
    return std::filesystem::path(kSuffix).native();
}

bool IsUnfinishedName(const std::filesystem::path::string_type& name,
                      const std::filesystem::path::string_type& prefix) {
    const auto suffix = Suffix();
    if (name.size() != prefix.size() + kRandomChars + suffix.size()) return false;
    if (name.compare(0, prefix.size(), prefix) != 0) return false;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    for (size_t i = prefix.size(); i < prefix.size() + kRandomChars; ++i) {
        const auto c = name[i];
        const bool alnum =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!alnum) return false;
    }
    return true;
}

#ifdef _WIN32
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplacePauseMs = 50;

// The system's own text is in the user's language and code page; messages here are English
// and UTF-8.
std::string WindowsReason(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file or folder";
        case ERROR_ACCESS_DENIED:
            return "access denied (the file may be read-only or open in another program)";
        case ERROR_SHARING_VIOLATION:
            return "the file is open in another program";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_WRITE_PROTECT:
            return "the disk is write-protected";
        default:
            return "Windows error " + std::to_string(code);
    }
}

// Opens `path` only if this call creates it; `exists` tells a taken name from a real failure.
std::FILE* CreateNew(const std::filesystem::path& path, bool& exists, std::string& error) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        error = WindowsReason(code);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileW(path.c_str());
        error = "cannot use the file";
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "w+b");
    if (!file) {
        _close(fd);
        DeleteFileW(path.c_str());
        error = "cannot use the file";
    }
    return file;
}

bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
             std::string& error) {
    // Windows refuses to replace a file that someone has open without sharing its deletion;
    // a run comparing files or a virus scanner holds it only for a moment.
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD code = GetLastError();
        const bool busy = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
        if (!busy || attempt == kReplaceAttempts) {
            error = WindowsReason(code);
            return false;
        }
        Sleep(kReplacePauseMs);
    }
}
#else
std::FILE* CreateNew(const std::filesystem::path& path, bool& exists, std::string& error) {
    // O_EXCL: never a file or link that is already there; 0666 leaves the rest to the umask,
    // as for any new file.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        error = std::generic_category().message(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        error = std::generic_category().message(errno);
        close(fd);
        unlink(path.c_str());
    }
    return file;
}

bool Replace(const std::filesystem::path& from, const std::filesystem::path& to,
             std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = std::generic_category().message(errno);
    return false;
}
#endif

}  // namespace

PackageFile::~PackageFile() {
    Close();
    if (path_.empty() || kept_) return;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

std::FILE* PackageFile::Create(std::string& error) {
    std::random_device entropy;
    const auto folder = target_.parent_path();
    const auto prefix = Prefix(target_);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto name = prefix;
        for (size_t i = 0; i < kRandomChars; ++i) {
            name += static_cast<std::filesystem::path::value_type>(
                kAlphabet[entropy() % kAlphabetSize]);
        }
        name += Suffix();
        const auto candidate = folder / name;
        bool exists = false;
        file_ = CreateNew(candidate, exists, error);
        if (file_) {
            path_ = candidate;
            return file_;
        }
        if (!exists) return nullptr;
    }
    error = "every name tried was taken";
    return nullptr;
}

bool PackageFile::Close() {
    if (!file_) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

bool PackageFile::Flush(std::string& error) {
    errno = 0;
    if (!file_ || std::fflush(file_) != 0) {
        error = "cannot write the package: " + std::generic_category().message(errno);
        return false;
    }
    return true;
}

bool PackageFile::Keep(std::string& error) {
    errno = 0;
    if (!Close()) {
        error = "cannot write the package: " + std::generic_category().message(errno);
        return false;
    }
    std::string why;
    if (!Replace(path_, target_, why)) {
        error = "cannot put the package in place: " + why;
        return false;
    }
    kept_ = true;
    return true;
}

std::vector<std::filesystem::path> UnfinishedPackagesFor(const std::filesystem::path& target) {
    auto legacy = target;
    legacy += kSuffix;
    std::vector<std::filesystem::path> found{legacy};
    const auto folder = target.parent_path();
    const auto prefix = Prefix(target);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (IsUnfinishedName(it->path().filename().native(), prefix)) {
            found.push_back(it->path());
        }
    }
    return found;
}
