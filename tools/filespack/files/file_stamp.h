// What changes when a file is written: its size and its change and write times, read from the
// open file itself so that a rename or a new file under the same name cannot stand in for it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

struct FileStamp {
    uint64_t size = 0;
    int64_t changed = 0;  // change time (status change on POSIX), in the system's units
    int64_t changed_fraction = 0;
    int64_t written = 0;  // last write
    int64_t written_fraction = 0;

    bool operator==(const FileStamp&) const = default;
};

// Nothing when the system cannot say.
std::optional<FileStamp> StampOf(std::FILE* file);
