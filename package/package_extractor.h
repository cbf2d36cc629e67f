// The extraction engine: one forward pass over a package in memory, turning it into files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/chunk_source.h"
#include "package/creation_record.h"
#include "package/extract_result.h"
#include "package/package_coder.h"
#include "package/platform_handles.h"
#include "package/progress_listener.h"

inline constexpr uint32_t PROGRESS_MESSAGE_DEFAULT = 1024;  // WM_USER
inline constexpr uint32_t CREATE_NEW_DISPOSITION = 1;       // CREATE_NEW

class PackageExtractor {
  public:
    PackageExtractor();
    virtual ~PackageExtractor();

    // Where progress goes (null: nowhere): one report per chunk written and one at the end,
    // carrying the bytes of the package consumed and the package length. `target` must outlive
    // any extraction that may report to it. Safe to call from any thread at any time: the
    // progress window detaches itself from the window's thread while the worker extracts.
    void SetProgressTarget(ProgressListener* target, uint32_t message);

    // Exact-length read from the current source; 1 on success, 0 on failure.
    int Read(void* buffer, int32_t n);

    // Extracts the package at `package` into the existing `folder` (no trailing separator; a
    // Shift-JIS path on Windows, the system's own path elsewhere).
    // `available` is how many bytes really lie at `package`: a package that declares more fails
    // with a read error. Returns 1 on success, 0 on failure; `result` may be null.
    int Extract(const uint8_t* package, size_t available, const char* folder,
                ExtractResult* result);

    // Chunks of plain packages come decoded from `source` (not owned; null, the default, decodes
    // each chunk in place). The engine's checks, writes and messages stay the same.
    void SetChunkSource(ChunkSource* source);

    // Every folder and file the next extractions create is told to `record` (not owned; null,
    // the default, tells no one).
    void SetCreationRecord(CreationRecord* record);

    ProgressListener* progress_window;  // the progress window's listener, or any other
    uint32_t progress_message;
    // Reads come from an open file when one is set; Extract always reads from memory and closes
    // it, so only a caller that drives Read itself (the tests) uses it.
    FileHandle file_source;
    const uint8_t* memory_source;  // the package during Extract, null outside it
    int64_t position;      // bytes consumed; 64-bit so that no package length can overflow it
    int64_t total_length;  // bound for reads; during extraction the package length L + 24
    PackageCoder* coder;
    // Informational, kept for callers that read it: output files are always created new, so
    // nothing in the engine consults it.
    uint32_t creation_disposition;

  private:
    friend class PackageExtraction;
    // Moves past `n` bytes of the package in memory without copying them; fails where Read would.
    int Skip(int32_t n);

    int64_t available_;  // bytes that really lie at memory_source
    ChunkSource* chunk_source_;
    CreationRecord* creation_record_;
};
