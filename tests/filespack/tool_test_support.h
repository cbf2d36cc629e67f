// Running filespack in-process on scratch folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_format.h"

#ifndef _WIN32
#include <sys/types.h>
#endif

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

// `args` without the program's name.
ToolRun RunTool(const std::vector<std::string>& args,
                std::optional<std::string> source_date_epoch = std::nullopt);

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path below the scratch folder, from UTF-8 parts.
    std::filesystem::path operator/(const std::string& utf8) const;
    // The same path as UTF-8, for the command line.
    std::string Arg(const std::string& utf8 = "") const;

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);
// A package made by `create` as a package without an integrity record would be: for damage
// that the extraction engine itself has to find.
std::vector<uint8_t> WithoutIntegrityRecord(std::vector<uint8_t> package);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// A sealed package holding a small file under each (Shift-JIS) name, none of them checked: what
// no `create` would write.
void WritePackage(const std::filesystem::path& file, const std::vector<std::string>& names);
// Writes the integrity record's digest anew after a test changed the package's bytes.
void Reseal(std::vector<uint8_t>& package);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

// Last-access and last-write times (creation is left alone: not every system can set it).
void SetTimes(const std::filesystem::path& path, FileTime last_access, FileTime last_write);
void MakeReadOnly(const std::filesystem::path& path);

// Points the system's temporary folder at `folder` while it lives.
class ScopedTempFolder {
  public:
    explicit ScopedTempFolder(const std::filesystem::path& folder);
    ~ScopedTempFolder();
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

  private:
    std::optional<std::string> saved_;
};

#ifndef _WIN32
// Sends `signal` to the tool running as `child` and expects it to end as an interrupted run
// ends: cleaned up, with 128 + the signal.
void ExpectInterrupted(pid_t child, int signal, const std::string& what);

enum class SignalledRun {
    INTERRUPTED,     // ended with 128 + the signal, as the tool's handler ends a run
    FINISHED_FIRST,  // done before the signal counted: exit 0, or the signal's default action
                     // once the handler was gone
    OTHER,           // anything else: a failure, another signal
};
// Sends `signal` to `child`, waits for it and says how it ended.
SignalledRun SignalRun(pid_t child, int signal);
#endif
