// The files that `create` packs: named files, and the files of named folders (at the top, or
// in the whole tree below).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_format.h"

struct InputFile {
    std::filesystem::path path;
    std::string shown;      // the path for messages, UTF-8
    std::string name_sjis;  // the stored name: folders inside the named folder, then the file
    uint64_t size = 0;
    uint32_t attributes = 0;
    EntryTimes times;
};

struct InputOptions {
    bool recursive = false;  // subfolders are packed, as folders in the names
    bool skip_subfolders = false;
    std::optional<FileTime> fixed_time;           // all three times of every file
    std::vector<std::filesystem::path> excluded;  // the package and its partial file
};

struct InputSet {
    bool ok = false;
    std::vector<std::string> problems;  // every problem found, one line each, naming its file
    // All of them for one message: lines after the first begin "filespack: " as the first will.
    std::string error;
    std::vector<InputFile> files;      // in package order
    std::vector<std::string> skipped;  // subfolders left out
};

// Named files in the order given; a folder's files sorted by the bytes of their UTF-8 names,
// then (recursive) each subfolder in that order, depth first, so that the same folder always
// gives the same package. Every input is looked at, so that one run names every file and
// folder that cannot be packed. Empty folders leave no trace.
InputSet CollectInputs(const std::vector<std::filesystem::path>& inputs,
                       const InputOptions& options);
