// The verbs, each given options already parsed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "tools/filespack/command_line/cli.h"

struct CreateOptions {
    std::string output;
    std::vector<std::string> inputs;
    int32_t block_size = 0;  // 0: the method's default
    ChunkMethod method = ChunkMethod::classic;
    int level = 0;  // 0: the method's default
    bool fast = false;  // pieces of exactly the block size, not cut where the data changes
    bool recursive = false;  // folders inside named folders are packed too
    bool skip_subfolders = false;
    std::string mtime;  // empty: the files' own times (or SOURCE_DATE_EPOCH)
    bool quiet = false;
};

struct ReadOptions {
    std::string package;
    std::string resource;  // empty: the executable's only package
};

struct ListOptions : ReadOptions {
    bool json = false;
};

// For the verbs that decode.
struct DecodeOptions : ReadOptions {
    bool quiet = false;
    bool json = false;  // one JSON object on standard output, and nothing else there
    int threads = 0;  // decoding threads; 0: one per processor it may use
    bool require_integrity = false;  // a package without an integrity record is a failure
};

struct ExtractOptions : DecodeOptions {
    std::string folder;             // empty: the package's path without its extension
    bool ignore_integrity = false;  // extract a damaged package anyway, as far as it goes
};

// What `exe` stamps into the generic program besides the package.
struct ExeOptions : CreateOptions {
    // A product goes to the program it carries, which reads every method.
    ExeOptions() { method = ChunkMethod::stream; }
    std::string name;
    std::string description;
    std::string product_version;
    std::string caption;
    std::string resource_name = "APPLIRES";
    std::string icon;          // an .ico file; empty: the program's own icon
    std::string company;
    std::string copyright;
    std::string file_version;  // "1.7.1.0"; empty: the numbers in product_version
    std::string stub;          // empty: the generic program beside filespack
    std::string package;       // a ready package instead of INPUT
    bool no_package = false;   // the identity alone: a product that reports its package missing
};

struct PackSummary {
    size_t files = 0;
    int64_t total = 0;
};

class PackageFile;
class ProgressBar;
// Ctrl+C, SIGTERM or SIGHUP while `file` is being made (an InterruptionGuard lives): the file
// goes, and the run ends with 128 + the signal, as test and extract end. Each run takes away
// only its own file: which of the others beside it is still being written, nobody can tell.
void StopIfInterrupted(PackageFile& file, ToolIo& io, ProgressBar* bar = nullptr);

// Packs `options.inputs` as `create` does into a new file made by `package`, which is left
// open and not yet put in place.
int PackInto(const CreateOptions& options, ToolIo& io, PackageFile& package,
             PackSummary& summary);

int RunCreate(const CreateOptions& options, ToolIo& io);
int RunExe(const ExeOptions& options, ToolIo& io);
int RunList(const ListOptions& options, ToolIo& io);
int RunTest(const DecodeOptions& options, ToolIo& io);
// `test` of a package already loaded: these bytes, not the file's bytes now. `options.package`
// only names it in messages.
struct PackageSource;
int RunTestOn(const DecodeOptions& options, ToolIo& io, const PackageSource& source);
int RunExtract(const ExtractOptions& options, ToolIo& io);

// "filespack VERB: " (or "filespack: " before a verb is known): how every message starts.
std::string Prefix(const ToolIo& io);

// The prefix and the message, on the error stream.
int Complain(ToolIo& io, int code, const std::string& message);
