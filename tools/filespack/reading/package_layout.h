// Walks a package's layout without decoding a chunk (only the entropy stage of a chunk that is
// not behind the identity code, to learn its mode): what `list` shows, what `exe` holds a
// program to, and the names that `extract` and `test` check before the engine creates any file.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "package/package_format.h"

struct LayoutEntry {
    std::string name;  // Shift-JIS bytes as stored
    int32_t size = 0;
    uint32_t attributes = 0;
    EntryTimes times;
    int32_t chunk_count = 0;
    int32_t zstd_chunks = 0;    // of chunk_count, those that hold a zstd frame
    int32_t stream_chunks = 0;  // of chunk_count, those that hold a piece of the zstd stream
    int64_t stored_bytes = 0;  // chunk lengths and bodies, terminator included
    int64_t chunks_offset = 0;  // where its first chunk length stands: the end of its head
};

struct PackageLayout {
    int64_t length = 0;  // L + 24
    int32_t block_size = 0;
    std::vector<LayoutEntry> entries;  // those read before any problem
    int64_t total_size = 0;
    int32_t zstd_chunks = 0;
    int32_t stream_chunks = 0;
};

struct LayoutScan {
    bool ok = false;
    std::string error;  // the first problem, in English
    PackageLayout layout;
};

// `package` holds the bytes that really lie at the package's start (no more need be valid).
// `passed`, when given, hears after each chunk how many bytes the walk has gone past for good.
LayoutScan ReadPackageLayout(std::span<const uint8_t> package,
                             const std::function<void(int64_t passed)>& passed = {});

// Every entry whose name Windows would refuse or change (the portable level of the name rules),
// and every pair of entries that are one file to Windows, which ignores case: one line each,
// naming the entries.
std::vector<std::string> WindowsNameProblems(const PackageLayout& layout);

// The first of those; "" when there is none.
std::string FirstWindowsNameProblem(const PackageLayout& layout);

// The first entry whose name the engine refuses, on Windows or elsewhere (the engine level),
// described; "" when there is none. What stopped an extraction at a name.
std::string FirstEngineNameProblem(const PackageLayout& layout);

// The first two entries (among those the engine accepts) that spell one folder two ways by case,
// described; "" when there are none. The engine refuses such a package before its first file.
std::string FolderSpelledTwice(const PackageLayout& layout);
