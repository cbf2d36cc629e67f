// Runs the extraction engine the Windows program uses, with a progress bar, and puts its
// outcome in words for a terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "tools/filespack/output/progress_bar.h"

struct EngineOutcome {
    bool ok = false;
    int32_t file_count = 0;
    std::string message;  // the engine's own message in UTF-8, or an explanation of its silence
    bool silent = false;  // the engine gave no message: `message` is the tool's English
    int64_t position = 0;  // bytes of the package the engine had read when it stopped
};

// `consumed`, when given, hears how many bytes of the package the engine has read for good, as
// it advances (not on Windows, where the engine reports to a window).
using ConsumedListener = std::function<void(int64_t consumed)>;

inline constexpr int kMaxDecodeThreads = 256;

// The threads asked for, or with 0 one per processor this process may use (at least 1).
int DecodeThreads(int asked);

// With `threads` above 1, chunks are decoded that many at a time ahead of the engine, which still
// checks and writes everything in order; with 1 the engine decodes each chunk itself.
EngineOutcome RunEngine(std::span<const uint8_t> package, const std::filesystem::path& folder,
                        ProgressBar& bar, const ConsumedListener& consumed = {}, int threads = 1);
