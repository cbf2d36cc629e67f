// `extract`: the engine of the Windows program, given the folder and the package's real length.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>
#include <vector>

#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/output/engine_message.h"
#include "tools/filespack/reading/engine_run.h"
#include "tools/filespack/files/file_names.h"
#include "package/extract_messages.h"
#include "package/name_rules.h"
#include "tools/filespack/reading/integrity_report.h"
#include "tools/filespack/files/interruption.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/reading/package_source.h"
#include "tools/filespack/output/run_report.h"
#include "tools/filespack/output/text_format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Where an entry lands: each backslash in a decoded name separates folders.
std::filesystem::path EntryPath(const std::filesystem::path& folder, std::string_view stored) {
    const std::string utf8 = NameText(stored);
    std::filesystem::path path = folder;
    for (size_t from = 0; from <= utf8.size();) {
        const size_t end = std::min(utf8.find('\\', from), utf8.size());
        path /= PathFromUtf8(std::string_view(utf8).substr(from, end - from));
        from = end + 1;
    }
    return path;
}

// The folders that extract creates for its output: a run that fails before writing a file takes
// them away again, so that it leaves nothing behind.
class FolderMaker {
  public:
    explicit FolderMaker(const std::filesystem::path& folder) {
        std::error_code ec;
        for (auto at = folder.lexically_normal(); !at.empty() && !std::filesystem::exists(at, ec);
             at = at.parent_path()) {
            if (ec) break;
            created_.push_back(at);
            if (at == at.parent_path()) break;
        }
    }
    // Removes what it made, innermost first, as far as those folders are still empty.
    void UndoIfEmpty() const {
        for (const auto& folder : created_) {
            std::error_code ec;
            if (!std::filesystem::is_empty(folder, ec) || ec) return;
            std::filesystem::remove(folder, ec);
        }
    }

  private:
    std::vector<std::filesystem::path> created_;
};

// The engine names the first check that failed; the layout walk can often say where, and
// that goes first, in English.
std::string FailureWords(const EngineOutcome& outcome, const LayoutScan& scan) {
    if (outcome.silent) return outcome.message;
    if (!scan.ok) return scan.error;
    // Judged over every name before the first file, so it comes before any one name.
    if (const std::string twice = FolderSpelledTwice(scan.layout); !twice.empty()) return twice;
    if (const std::string refused = FirstEngineNameProblem(scan.layout); !refused.empty()) {
        return refused;
    }
    return ExplainEngineMessage(outcome.message);
}

// The engine's bare write error means it could not create an entry's file, and it stopped right
// after reading that entry's head. Which file, and the system's reason, help more than the code.
std::string WhyNotCreated(const LayoutScan& scan, int64_t position,
                          const std::filesystem::path& folder) {
    for (const auto& entry : scan.layout.entries) {
        if (entry.chunks_offset != position) continue;
        const std::filesystem::path path = EntryPath(folder, entry.name);
        const std::string shown = DisplayPath(path);
        std::error_code ec;
        // The engine went through the name's folders without following a link; so does this.
        std::filesystem::path above = folder;
        for (const auto& part : path.lexically_relative(folder).parent_path()) {
            above /= part;
            const auto status = std::filesystem::symlink_status(above, ec);
            if (std::filesystem::is_symlink(status)) {
                return shown + " could not be created: " + DisplayPath(above) +
                       " is a link, which extract never follows";
            }
            if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
                return shown + " could not be created: " + DisplayPath(above) +
                       " is a file where the name needs a folder";
            }
        }
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
            return shown + " appeared while extracting: another program, or a second extract, "
                           "made it; it was left alone";
        }
#ifndef _WIN32
        const int probe = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 0600);
        if (probe < 0) return shown + " could not be created: " + std::strerror(errno);
        ::close(probe);
        ::unlink(path.c_str());
#endif
        return shown + " could not be created";
    }
    return "";
}

// The engine stops at the first existing file and leaves the files before it; finding the clash
// first leaves the folder as it was.
std::string FirstClash(const LayoutScan& scan, const std::filesystem::path& folder) {
    // An empty folder, such as one just made, has nothing in the way: no look per file.
    std::error_code empty_ec;
    if (std::filesystem::is_empty(folder, empty_ec) && !empty_ec) return "";
    for (const auto& entry : scan.layout.entries) {
        if (StoredNameProblem(entry.name, NameLevel::engine)) continue;  // refused anyway
        const std::filesystem::path path = EntryPath(folder, entry.name);
        // A link is in the way even when it leads nowhere (exists() would follow it).
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
            return DisplayPath(path);
        }
    }
    return "";
}

// The engine has closed the file, but may have made it read-only, which Windows will not delete.
bool RemoveCutFile(const std::filesystem::path& cut) {
    std::error_code ec;
    std::filesystem::permissions(cut, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add |
                                     std::filesystem::perm_options::nofollow,
                                 ec);
    return std::filesystem::remove(cut, ec);
}

// The file the engine is writing once it has read the package up to `done`: the entry whose
// chunks reach past `done`, or end right there (its times and attributes are not yet set).
std::filesystem::path FileInProgress(const LayoutScan& scan, int64_t done,
                                     const std::filesystem::path& folder) {
    for (const auto& entry : scan.layout.entries) {
        const int64_t chunks = entry.chunks_offset;
        if (done <= chunks || done > chunks + entry.stored_bytes) continue;
        return EntryPath(folder, entry.name);
    }
    return {};
}

int Extract(const ExtractOptions& options, ToolIo& io, RunReport& report) {
    const std::filesystem::path package_path = PathFromUtf8(options.package);
    std::filesystem::path folder = PathFromUtf8(options.folder);
    if (options.folder.empty()) {
        if (!package_path.has_extension() || !package_path.has_stem()) {
            return report.Fail(EXIT_USAGE,
                            options.package +
                                " has no extension to drop for the folder name; give the "
                                "folder with -o");
        }
        folder = package_path;
        folder.replace_extension();
    }
    // The record is checked before anything is created: a damaged package leaves no trace.
    PackageSource source;
    IntegrityCheck integrity;
    int code = EXIT_OK;
    if (!LoadChecked(options.package, options.resource, report, source, integrity, code)) {
        return code;
    }
    const bool damaged = integrity.verdict == IntegrityVerdict::MISMATCH;
    if (damaged && !options.ignore_integrity) {
        return report.Fail(EXIT_PROBLEM,
                        options.package + ": " + IntegrityWords(integrity) +
                            "; the package is damaged and nothing was extracted "
                            "(--ignore-integrity extracts what can be, to salvage it)");
    }
    if (integrity.verdict == IntegrityVerdict::NO_RECORD && options.require_integrity) {
        return report.Fail(EXIT_PROBLEM,
                        options.package +
                            ": no integrity record, and --require-integrity asks for one; "
                            "nothing was extracted");
    }
    if (damaged) {
        report.Warn(options.package + ": " + IntegrityWords(integrity) +
                    "; extracting the damaged package anyway, as --ignore-integrity asks");
    }

    // The engine counts the sizes as it goes and stops once they pass 2 GiB, after writing as
    // much; the layout knows before anything is written.
    const LayoutScan scan =
        ReadPackageLayout(source.bytes(), [&](int64_t passed) { source.ReleaseConsumed(passed); });
    report.SetLayout(scan.layout);
    if (scan.layout.total_size > std::numeric_limits<int32_t>::max()) {
        return report.Fail(EXIT_PROBLEM,
                        options.package + ": its files add up to " +
                            std::to_string(scan.layout.total_size) +
                            " bytes, 2 GiB or more, which the extractor refuses; nothing was "
                            "extracted");
    }

    const std::string shown_folder = PathToUtf8(folder);
    report.SetFolder(shown_folder);
    FolderMaker made(folder);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        return report.Fail(
            EXIT_PROBLEM,
            "cannot create the folder " + shown_folder + (ec ? ": " + ec.message() : ""));
    }

    if (const std::string clash = FirstClash(scan, folder); !clash.empty()) {
        return report.Fail(EXIT_PROBLEM,
                        clash +
                            " already exists; extract never overwrites a file (extract "
                            "into another folder with -o)");
    }

    // Both the walk above and the engine give the package's pages back behind them, so that it
    // never sits in memory whole; the engine starts again from the top.
    source.file.ReleaseAll();
    const bool quiet = options.quiet || options.json;
    ProgressBar bar(io.err, io.terminal && !quiet, "extracting");
    bar.CountUnpacked(scan.layout);
    const InterruptionGuard interruption;
    // Files already complete stay, as after any failure; the one being written would be a cut
    // file with today's time that blocks the next run, so it goes.
    auto stop = [&](int signal, int64_t consumed) {
        bar.Clear();
        const std::filesystem::path cut = FileInProgress(scan, consumed, folder);
        if (!cut.empty() && RemoveCutFile(cut)) {
            io.err << Prefix(io) << "interrupted; removed the unfinished "
                   << DisplayPath(cut) << std::endl;
        } else {
            io.err << Prefix(io) << "interrupted" << std::endl;
        }
        ExitInterrupted(signal);
    };
    const EngineOutcome outcome = RunEngine(
        source.bytes(), folder, bar,
        [&](int64_t consumed) {
            source.ReleaseConsumed(consumed);
            if (const int signal = InterruptionGuard::Pending(); signal != 0) stop(signal, consumed);
        },
        DecodeThreads(options.threads));
    // Where the engine cannot be stopped from its own thread (Windows), it was made to fail at
    // its next chunk; a run that completed keeps every file.
    if (const int signal = InterruptionGuard::Pending(); signal != 0) {
        stop(signal, outcome.ok ? -1 : outcome.position);
    }
    report.SetFiles(outcome.file_count);
    if (source.file.Shrank()) {
        bar.Clear();
        return report.Fail(EXIT_PROBLEM, ShrankWords(options.package));
    }
    if (!outcome.ok) {
        bar.Clear();
        std::string why = FailureWords(outcome, scan);
        if (outcome.message == DisplayName(WRITE_ERROR_TEXT)) {
            if (std::string created = WhyNotCreated(scan, outcome.position, folder);
                !created.empty()) {
                why = std::move(created);
            }
        }
        report.Fail(EXIT_PROBLEM, options.package + ": " + why,
                    outcome.silent ? "" : outcome.message);
        if (const std::string trouble = FirstWindowsNameProblem(scan.layout);
            !trouble.empty() && why.find(trouble) == std::string::npos &&
            FolderSpelledTwice(scan.layout).empty()) {
            report.AddDetail(trouble);
        }
        made.UndoIfEmpty();
        if (std::filesystem::exists(folder, ec) && !std::filesystem::is_empty(folder, ec)) {
            report.AddDetail("files extracted before the problem are left in " + shown_folder);
        }
        return EXIT_PROBLEM;
    }
    bar.Finish();
    if (damaged) {
        return report.Fail(EXIT_PROBLEM,
                        "extracted " + std::to_string(outcome.file_count) +
                            " files into " + shown_folder +
                            " from a damaged package: the engine found no fault, but some of "
                            "them may be wrong");
    }
    if (!quiet) {
        io.out << "Extracted " << outcome.file_count
               << (outcome.file_count == 1 ? " file, " : " files, ")
               << FormatBytes(scan.layout.total_size) << ", into " << shown_folder << '\n';
    }
    return EXIT_OK;
}

}  // namespace

int RunExtract(const ExtractOptions& options, ToolIo& io) {
    return RunReported(options, io, Extract);
}
