// Layout constants of a package: header, block size, entries, chunks, end byte.
#pragma once

#include <cstdint>

#include "codec/chunk_form.h"

inline constexpr char PACKAGE_MAGIC[16] = {'F', 'I', 'L', 'E', '_', 'P', 'A', 'C',
                                           'K', 'E', 'R', ' ', '1', '.', '0', '0'};
inline constexpr char PLAIN_MARKER[4] = {'/', '*', '*', '*'};
inline constexpr char PACKAGE_SIGNATURE[8] = {'Q', 'Z', 'N', '-', '2', '0', '0', '0'};

inline constexpr int32_t MIN_BLOCK_SIZE = 1024;
inline constexpr int32_t MAX_BLOCK_SIZE = 4000000;
inline constexpr int32_t DEFAULT_BLOCK_SIZE = 200000;

inline constexpr int32_t HEADER_SIZE = 32;      // magic, marker, L, signature

// Where the header keeps its fields; the block size follows it.
inline constexpr int32_t MAGIC_OFFSET = 0;
inline constexpr int32_t MARKER_OFFSET = 16;
inline constexpr int32_t LENGTH_OFFSET = 20;  // L, an i32
inline constexpr int32_t SIGNATURE_OFFSET = 24;
inline constexpr int32_t BLOCK_SIZE_OFFSET = HEADER_SIZE;
inline constexpr int32_t ENTRIES_OFFSET = BLOCK_SIZE_OFFSET + 4;

// Within an entry's 28-byte unit.
inline constexpr int32_t UNIT_ATTRIBUTES = 0;
inline constexpr int32_t UNIT_CREATION = 4;
inline constexpr int32_t UNIT_LAST_ACCESS = 12;
inline constexpr int32_t UNIT_LAST_WRITE = 20;
inline constexpr int32_t LENGTH_BASE = 24;      // the package length is L + LENGTH_BASE
inline constexpr int32_t ENTRY_UNIT_SIZE = 28;  // attributes and three FILETIMEs
inline constexpr int32_t CHUNK_SLACK = CHUNK_CAPACITY_SLACK;  // chunk capacity is B + CHUNK_SLACK
inline constexpr int32_t BUFFER_SLACK = CHUNK_BUFFER_SLACK;   // the reader's buffer is B + BUFFER_SLACK

inline constexpr int PATH_BUFFER_SIZE = 260;  // Windows paths, NUL included

// Windows file attribute bits that packages carry.
inline constexpr uint32_t ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t ATTRIBUTE_HIDDEN = 0x02;
inline constexpr uint32_t ATTRIBUTE_SYSTEM = 0x04;
inline constexpr uint32_t ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr uint32_t ATTRIBUTE_NORMAL = 0x80;

// 100-nanosecond units since 1601-01-01 UTC.
using FileTime = uint64_t;
inline constexpr FileTime FILETIME_UNIX_EPOCH = 116444736000000000ULL;

struct EntryTimes {
    FileTime creation = 0;
    FileTime last_access = 0;
    FileTime last_write = 0;
};
