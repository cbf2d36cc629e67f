#include "tools/filespack/reading/engine_run.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "package/name_encoding.h"
#include "package/package_extractor.h"
#include "tools/filespack/reading/chunk_prefetcher.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/files/interruption.h"
#include "tools/filespack/output/text_format.h"

#ifdef _WIN32
#include <windows.h>

#include "package/window_progress.h"
#else
#include "package/platform_handles.h"
#endif
#ifdef __linux__
#include <sched.h>
#endif

namespace {

// A trailing separator would double the one the engine puts before each name. Stripped before
// any conversion to Shift-JIS, where a 0x5C byte may be half of a character.
void StripTrailingSeparators(std::string& path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        if (path.size() == 3 && path[1] == ':') break;  // "C:\" is a root
        path.pop_back();
    }
}

#ifdef _WIN32

constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kDoneMessage = WM_APP + 2;

// Ctrl+C arrives on a thread of its own while the engine writes on another, and ending the
// process there would leave a cut file open. Between chunks is where the engine can stop: asked
// for a chunk after Ctrl+C, this source refuses it, the engine stops as on a damaged chunk and
// closes the file, and the caller, seeing the interruption, removes that file.
class StopOnInterruption final : public ChunkSource {
  public:
    explicit StopOnInterruption(ChunkSource& decoded) : decoded_(decoded) {}
    int32_t DecodedChunk(int64_t offset, int32_t length, int32_t capacity,
                         const uint8_t** decoded) override {
        if (InterruptionGuard::Pending() != 0) return 0;
        return decoded_.DecodedChunk(offset, length, capacity, decoded);
    }

  private:
    ChunkSource& decoded_;
};

// The engine posts progress to a window, as it does in the Windows program: the extraction runs
// on a worker thread while this thread keeps a message-only window and draws the bar.
int ExtractReporting(PackageExtractor& engine, std::span<const uint8_t> package,
                     const std::string& folder, ExtractResult& result, ProgressBar& bar,
                     const ConsumedListener&) {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) return engine.Extract(package.data(), package.size(), folder.c_str(), &result);
    WindowProgress to_window(window);
    engine.SetProgressTarget(&to_window, kProgressMessage);
    int outcome = 0;
    std::thread worker([&] {
        outcome = engine.Extract(package.data(), package.size(), folder.c_str(), &result);
        PostMessageA(window, kDoneMessage, 0, 0);
    });
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == window && message.message == kDoneMessage) break;
        if (message.hwnd == window && message.message == kProgressMessage) {
            bar.Update(static_cast<int64_t>(message.wParam), static_cast<int64_t>(message.lParam));
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    worker.join();
    engine.SetProgressTarget(nullptr, 0);
    DestroyWindow(window);
    return outcome;
}

// The engine takes an ANSI (Shift-JIS) path on Windows.
bool EngineFolder(const std::filesystem::path& folder, std::string& text) {
    std::string utf8 = PathToUtf8(folder.lexically_normal().make_preferred());
    StripTrailingSeparators(utf8);
    return Utf8ToShiftJis(utf8, text);
}

#else

// The engine calls it after each chunk it writes: whatever lies before `done` has been read and
// will not be read again.
class BarListener : public ProgressListener {
  public:
    BarListener(ProgressBar& bar, const ConsumedListener& consumed)
        : bar_(bar), consumed_(consumed) {}
    void OnProgress(uint32_t, int64_t done, int64_t total) override {
        bar_.Update(done, total);
        if (consumed_) consumed_(done);
    }

  private:
    ProgressBar& bar_;
    const ConsumedListener& consumed_;
};

int ExtractReporting(PackageExtractor& engine, std::span<const uint8_t> package,
                     const std::string& folder, ExtractResult& result, ProgressBar& bar,
                     const ConsumedListener& consumed) {
    BarListener listener(bar, consumed);
    engine.SetProgressTarget(&listener, PROGRESS_MESSAGE_DEFAULT);
    const int outcome = engine.Extract(package.data(), package.size(), folder.c_str(), &result);
    engine.SetProgressTarget(nullptr, 0);
    return outcome;
}

bool EngineFolder(const std::filesystem::path& folder, std::string& text) {
    text = folder.lexically_normal().native();
    StripTrailingSeparators(text);
    return true;
}

#endif

// The engine's three failures without a message, in words.
std::string SilentFailureWords(ExtractFailure failure) {
    switch (failure) {
        case ExtractFailure::out_of_memory:
            return "the extractor stopped without a message: no memory for its chunk buffer";
        case ExtractFailure::nothing_to_extract:
            return "the extractor stopped without a message: the package's files add up to 0 bytes";
        case ExtractFailure::too_large:
            return "the extractor stopped without a message: the package's files add up to 2 GiB "
                   "or more";
        default:
            return "the extractor stopped without a message";
    }
}

}  // namespace

int DecodeThreads(int asked) {
    if (asked >= 1) return std::min(asked, kMaxDecodeThreads);
    unsigned hardware = std::thread::hardware_concurrency();
#ifdef __linux__
    // Only the processors this process may run on (taskset, container limits) help.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        hardware = static_cast<unsigned>(CPU_COUNT(&allowed));
    }
#endif
    return std::clamp(static_cast<int>(std::min(hardware, 1024u)), 1, kMaxDecodeThreads);
}

EngineOutcome RunEngine(std::span<const uint8_t> package, const std::filesystem::path& folder,
                        ProgressBar& bar, const ConsumedListener& consumed, int threads) {
    EngineOutcome outcome;
    std::string engine_folder;
    if (!EngineFolder(folder, engine_folder)) {
        outcome.message = "the folder " + PathToUtf8(folder) +
                          " has no Shift-JIS form, which the extractor needs";
        outcome.silent = true;
        return outcome;
    }
    PackageExtractor engine;
    std::unique_ptr<ChunkPrefetcher> prefetcher;
#ifdef _WIN32
    // Stopping needs a chunk source to refuse through: one decoding thread at least.
    prefetcher = std::make_unique<ChunkPrefetcher>(package, std::max(threads, 1));
    StopOnInterruption stoppable(*prefetcher);
    engine.SetChunkSource(&stoppable);
#else
    if (threads > 1) {
        prefetcher = std::make_unique<ChunkPrefetcher>(package, threads);
        engine.SetChunkSource(prefetcher.get());
    }
#endif
    ExtractResult result{};
    outcome.ok = ExtractReporting(engine, package, engine_folder, result, bar, consumed) == 1;
    outcome.file_count = result.file_count;
    outcome.position = engine.position;
    outcome.message = DisplayName(result.message);
    if (outcome.message.empty() && !outcome.ok) {
        outcome.message = SilentFailureWords(result.failure);
        outcome.silent = true;
    }
    return outcome;
}
