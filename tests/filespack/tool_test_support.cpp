#include "tool_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "package/integrity_record.h"
#include "package/package_writer.h"
#include "tools/filespack/command_line/cli.h"
#include "tools/filespack/files/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#endif

ToolRun RunTool(const std::vector<std::string>& args, std::optional<std::string> epoch) {
    std::ostringstream out;
    std::ostringstream err;
    ToolIo io{out, err, false, std::move(epoch), ""};
    std::vector<std::string> argv{"filespack"};
    argv.insert(argv.end(), args.begin(), args.end());
    ToolRun run;
    run.code = RunFilespack(argv, io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

ScratchDir::ScratchDir() {
    std::random_device entropy;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("filespack-tool-test-" + std::to_string(entropy()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(path_, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code ignored;
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path ScratchDir::operator/(const std::string& utf8) const {
    return path_ / PathFromUtf8(utf8);
}

std::string ScratchDir::Arg(const std::string& utf8) const {
    return PathToUtf8(utf8.empty() ? path_ : path_ / PathFromUtf8(utf8));
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    // Runs and noise, so that a real encoder has something to compress and something not to.
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = (i / 512) % 2 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 7);
    }
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << PathToUtf8(path);
}

std::vector<uint8_t> WithoutIntegrityRecord(std::vector<uint8_t> package) {
    uint32_t declared = 0;
    for (int i = 0; i < 4; ++i) declared |= uint32_t{package.at(20 + i)} << (8 * i);
    declared -= INTEGRITY_RECORD_SIZE;
    for (int i = 0; i < 4; ++i) package[20 + i] = static_cast<uint8_t>(declared >> (8 * i));
    package.resize(package.size() - INTEGRITY_RECORD_SIZE);
    return package;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void SetTimes(const std::filesystem::path& path, FileTime last_access, FileTime last_write) {
#ifdef _WIN32
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME access{static_cast<DWORD>(last_access), static_cast<DWORD>(last_access >> 32)};
    FILETIME write{static_cast<DWORD>(last_write), static_cast<DWORD>(last_write >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, &access, &write));
    CloseHandle(file);
#else
    auto to_timespec = [](FileTime t) {
        const uint64_t since_1970 = t - FILETIME_UNIX_EPOCH;
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(since_1970 / 10000000);
        ts.tv_nsec = static_cast<long>(since_1970 % 10000000 * 100);
        return ts;
    };
    const timespec times[2] = {to_timespec(last_access), to_timespec(last_write)};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
}

void MakeReadOnly(const std::filesystem::path& path) {
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
}

#ifdef _WIN32
// GetTempPathW reads TMP first.
ScopedTempFolder::ScopedTempFolder(const std::filesystem::path& folder) {
    if (const wchar_t* old = _wgetenv(L"TMP")) saved_ = PathToUtf8(old);
    _wputenv_s(L"TMP", folder.c_str());
}
ScopedTempFolder::~ScopedTempFolder() {
    _wputenv_s(L"TMP", saved_ ? PathFromUtf8(*saved_).c_str() : L"");
}
#else
ScopedTempFolder::ScopedTempFolder(const std::filesystem::path& folder) {
    if (const char* old = std::getenv("TMPDIR")) saved_ = old;
    setenv("TMPDIR", folder.c_str(), 1);
}
ScopedTempFolder::~ScopedTempFolder() {
    if (saved_) {
        setenv("TMPDIR", saved_->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}
#endif

void WritePackage(const std::filesystem::path& file, const std::vector<std::string>& names) {
    std::FILE* out = OpenFile(file, "w+b");
    ASSERT_NE(out, nullptr);
    PackageWriter writer(out, 1024);
    const uint8_t data[] = {1, 2, 3};
    bool written = true;
    for (const auto& name : names) {
        PackageEntryHead head;
        head.name = name;
        written = written && writer.AddFile(head, data, sizeof data);
    }
    written = written && writer.Finish();
    std::fclose(out);
    ASSERT_TRUE(written) << writer.error();
}

void Reseal(std::vector<uint8_t>& package) {
    ASSERT_GE(package.size(), DIGEST_SIZE);
    DigestBytes(package.data(), package.size() - DIGEST_SIZE,
                package.data() + package.size() - DIGEST_SIZE);
}

#ifndef _WIN32
void ExpectInterrupted(pid_t child, int signal, const std::string& what) {
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << what;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << what << ": finished first?";
}

SignalledRun SignalRun(pid_t child, int signal) {
    kill(child, signal);
    int status = 0;
    if (waitpid(child, &status, 0) != child) return SignalledRun::OTHER;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) return SignalledRun::INTERRUPTED;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return SignalledRun::FINISHED_FIRST;
    if (WIFSIGNALED(status) && WTERMSIG(status) == signal) return SignalledRun::FINISHED_FIRST;
    return SignalledRun::OTHER;
}
#endif
