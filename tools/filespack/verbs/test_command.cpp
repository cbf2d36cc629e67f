// `test`: the verdict is the engine's, as the Windows program would reach it. The engine can only
// decode by writing files, so it extracts into a throwaway folder that is removed afterwards.
// The layout walk adds what the engine here cannot see: names Windows would refuse to create.
// A package with an integrity record must match it first: the engine cannot see every damage.
#include <random>
#include <system_error>

#include "package/extract_messages.h"
#include "package/package_format.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/output/engine_message.h"
#include "tools/filespack/reading/engine_run.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/reading/integrity_report.h"
#include "tools/filespack/files/interruption.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/reading/package_source.h"
#include "tools/filespack/output/run_report.h"
#include "tools/filespack/output/text_format.h"

namespace {

class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code ec;
        const auto base = std::filesystem::temp_directory_path(ec);
        if (ec) return;
        std::random_device entropy;
        for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
            auto candidate = base / ("filespack-test-" + std::to_string(entropy()));
            if (std::filesystem::create_directory(candidate, ec) && !ec) path_ = candidate;
        }
    }
    ~ScratchFolder() { Remove(); }
    void Remove() {
        if (path_.empty()) return;
        std::error_code ec;
        // Read-only files cannot be deleted on Windows, in the name's folders too.
        for (std::filesystem::recursive_directory_iterator it(path_, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code ignored;
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add |
                                             std::filesystem::perm_options::nofollow,
                                         ignored);
        }
        std::filesystem::remove_all(path_, ec);
        path_.clear();
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The engine's write error, as the tool shows it (its message starts so, with or without a
// name after it).
std::string WriteErrorWords() {
    return DisplayName(WRITE_ERROR_TEXT);
}

// Less room left than the largest chunk the engine may write at once: the disk is what stopped
// it. The file it was writing still holds its space while this is asked.
bool ScratchIsFull(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(folder, ec);
    return !ec && space.available < static_cast<std::uintmax_t>(MAX_BLOCK_SIZE + CHUNK_SLACK);
}

// The engine's failure in one line, English first: what the layout walk found when it found
// something, else what the engine's message means.
std::string FailureWords(const EngineOutcome& outcome, const LayoutScan& scan) {
    if (outcome.silent) return outcome.message;
    if (!scan.ok) return scan.error;
    if (const std::string twice = FolderSpelledTwice(scan.layout); !twice.empty()) return twice;
    return ExplainEngineMessage(outcome.message);
}

int TestLoaded(const DecodeOptions& options, ToolIo& io, RunReport& report,
               const PackageSource& source, const IntegrityCheck& integrity) {
    if (integrity.verdict == IntegrityVerdict::MISMATCH) {
        return report.Fail(EXIT_PROBLEM, options.package + ": " + IntegrityWords(integrity) +
                                             "; the package is damaged");
    }
    if (integrity.verdict == IntegrityVerdict::NO_RECORD && options.require_integrity) {
        return report.Fail(EXIT_PROBLEM,
                           options.package +
                               ": no integrity record, and --require-integrity asks for one (an "
                               "older package; pack it again with filespack create)");
    }
    const LayoutScan scan =
        ReadPackageLayout(source.bytes(), [&](int64_t passed) { source.ReleaseConsumed(passed); });
    report.SetLayout(scan.layout);

    const bool quiet = options.quiet || options.json;
    ProgressBar bar(io.err, io.terminal && !quiet, "testing   ");
    bar.CountUnpacked(scan.layout);
    const InterruptionGuard interruption;
    ScratchFolder scratch;
    // Between chunks, when the engine holds no file half-made in a way that matters: all of the
    // scratch folder goes.
    auto stop_if_interrupted = [&] {
        const int signal = InterruptionGuard::Pending();
        if (signal == 0) return;
        scratch.Remove();
        bar.Clear();
        io.err << Prefix(io) << "interrupted; the scratch folder was removed" << std::endl;
        ExitInterrupted(signal);
    };
    if (scratch.path().empty()) {
        return report.Fail(EXIT_PROBLEM,
                           "cannot make a scratch folder in the temporary folder; point TMPDIR "
                           "at a folder this user may write");
    }
    source.file.ReleaseAll();  // what the walk kept; the engine gives pages back behind it too
    const EngineOutcome outcome = RunEngine(
        source.bytes(), scratch.path(), bar,
        [&](int64_t consumed) {
            source.ReleaseConsumed(consumed);
            stop_if_interrupted();
        },
        DecodeThreads(options.threads));
    stop_if_interrupted();
    report.SetFiles(outcome.file_count);
    if (source.file.Shrank()) {
        bar.Clear();
        return report.Fail(EXIT_PROBLEM, ShrankWords(options.package));
    }
    if (!outcome.ok) {
        bar.Clear();
        const std::string engine = outcome.silent ? "" : outcome.message;
        // A write error in the scratch folder is this machine's trouble, not the package's.
        if (outcome.message.starts_with(WriteErrorWords()) && ScratchIsFull(scratch.path())) {
            return report.Fail(EXIT_PROBLEM,
                               "the temporary folder " +
                                   PathToUtf8(scratch.path().parent_path()) +
                                   " is full, so the package could not be tested; make room "
                                   "there, or point TMPDIR at a folder with room",
                               engine);
        }
        report.Fail(EXIT_PROBLEM, options.package + ": " + FailureWords(outcome, scan), engine);
        // A folder spelled twice is already the reason, in the engine's words.
        if (const std::string trouble = FirstWindowsNameProblem(scan.layout);
            !trouble.empty() && FolderSpelledTwice(scan.layout).empty()) {
            report.AddDetail(trouble);
        }
        return EXIT_PROBLEM;
    }
    bar.Finish();
    if (const std::string trouble = FirstWindowsNameProblem(scan.layout); !trouble.empty()) {
        return report.Fail(EXIT_PROBLEM, options.package + ": " + trouble);
    }
    if (const int64_t trailing = TrailingBytes(source, scan.layout); trailing > 0) {
        report.SetTrailing(trailing);
        report.Warn(TrailingWords(options.package, trailing, scan.layout.length));
    }
    if (!quiet) {
        io.out << options.package << ": OK, " << outcome.file_count
               << (outcome.file_count == 1 ? " file, " : " files, ")
               << FormatBytes(scan.layout.total_size) << "; " << IntegrityWords(integrity)
               << SignatureWords(source) << '\n';
    }
    return EXIT_OK;
}

int Test(const DecodeOptions& options, ToolIo& io, RunReport& report) {
    PackageSource source;
    IntegrityCheck integrity;
    int code = EXIT_OK;
    if (!LoadChecked(options.package, options.resource, report, source, integrity, code)) {
        return code;
    }
    return TestLoaded(options, io, report, source, integrity);
}

}  // namespace

int RunTest(const DecodeOptions& options, ToolIo& io) {
    return RunReported(options, io, Test);
}

int RunTestOn(const DecodeOptions& options, ToolIo& io, const PackageSource& source) {
    return RunReported(options, io, [&](const DecodeOptions& o, ToolIo& i, RunReport& report) {
        return TestLoaded(o, i, report, source, CheckSourceIntegrity(source));
    });
}
