// What a package records of a file on disk: kind, size, Windows attributes and three times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "package/package_format.h"

enum class FileKind { kRegular, kDirectory, kOther };

struct FileMetadata {
    FileKind kind = FileKind::kOther;
    uint64_t size = 0;
    // On Windows the file's own read-only, hidden, system and archive bits (NORMAL when none).
    // Elsewhere ARCHIVE, and READONLY when nobody may write the file; a leading dot does not
    // make a file hidden, since to Windows it is an ordinary name.
    uint32_t attributes = ATTRIBUTE_ARCHIVE;
    // Creation is the birth time where the file system keeps one, else the last write.
    EntryTimes times;
};

// Follows symbolic links. Returns false with `error` set when the file cannot be examined.
bool ReadFileMetadata(const std::filesystem::path& path, FileMetadata& metadata,
                      std::string& error);
