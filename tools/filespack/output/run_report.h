// What `test` and `extract` found, kept as the run goes so that --json can give it as one object
// at the end, whatever path the run took; every failure is also said on the error stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/integrity_record.h"
#include "tools/filespack/command_line/cli.h"

struct PackageSource;
struct PackageLayout;

class RunReport {
  public:
    RunReport(ToolIo& io, bool json, std::string package);

    void SetSource(const PackageSource& source);
    void SetIntegrity(const IntegrityCheck& integrity) { integrity_ = integrity; }
    void SetLayout(const PackageLayout& layout);
    void SetFiles(int32_t files) { files_ = files; }
    void SetFolder(std::string folder) { folder_ = std::move(folder); }
    void SetTrailing(int64_t bytes) { trailing_ = bytes; }

    // Says `explanation` (and the engine's message, quoted) on the error stream, keeps both
    // for the JSON, and gives back `code`.
    int Fail(int code, const std::string& explanation, const std::string& engine_message = "");
    // A further line about the same failure.
    void AddDetail(const std::string& detail);
    // A problem that does not fail the run.
    void Warn(const std::string& warning);

    // Writes the JSON object, when asked for, with `code`'s outcome.
    void Finish(int code) const;

  private:
    ToolIo& io_;
    bool json_;
    std::string package_;
    std::optional<IntegrityCheck> integrity_;
    std::string signature_;  // "present", "none", or "" for a package file
    std::string resource_;
    int64_t length_ = -1;
    int64_t total_size_ = -1;
    int32_t block_size_ = 0;
    int64_t trailing_ = 0;
    int32_t files_ = -1;
    std::string folder_;
    std::string explanation_;
    std::string engine_message_;
    std::vector<std::string> details_;
    std::vector<std::string> warnings_;
};

// Bytes that follow the package's declared length in its file or resource: none, in a package
// that was written whole and alone.
int64_t TrailingBytes(const PackageSource& source, const PackageLayout& layout);

// The warning about them, naming where they start.
std::string TrailingWords(const std::string& shown, int64_t trailing, int64_t length);
