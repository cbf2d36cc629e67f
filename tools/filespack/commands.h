// The four verbs, each given options already parsed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "tools/filespack/cli.h"

struct CreateOptions {
    std::string output;
    std::vector<std::string> inputs;
    int32_t block_size = DEFAULT_BLOCK_SIZE;
    bool fast = false;  // pieces of exactly the block size, not cut where the data changes
    bool skip_subfolders = false;
    std::string mtime;  // empty: the files' own times (or SOURCE_DATE_EPOCH)
    bool quiet = false;
};

struct ReadOptions {
    std::string package;
    std::string resource;  // empty: the executable's only package
    bool quiet = false;
};

struct ListOptions : ReadOptions {
    bool json = false;
};

// For the verbs that decode.
struct DecodeOptions : ReadOptions {
    int threads = 0;                 // decoding threads; 0: one per processor it may use
    bool require_integrity = false;  // a package without an integrity record is a failure
};

struct ExtractOptions : DecodeOptions {
    std::string folder;             // empty: the package's path without its extension
    bool ignore_integrity = false;  // extract a damaged package anyway, as far as it goes
};

int RunCreate(const CreateOptions& options, ToolIo& io);
int RunList(const ListOptions& options, ToolIo& io);
int RunTest(const DecodeOptions& options, ToolIo& io);
int RunExtract(const ExtractOptions& options, ToolIo& io);

// "filespack: " and the message, on the error stream.
int Complain(ToolIo& io, int code, const std::string& message);
