// `create`: packs files into a new package, written beside the target and renamed into place
// only when complete, so that a failed run never leaves a half package under the real name.
#include <cstdio>
#include <limits>
#include <system_error>

#include "package/package_writer.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/files/file_stamp.h"
#include "tools/filespack/files/input_files.h"
#include "tools/filespack/files/stream_order.h"
#include "tools/filespack/files/package_file.h"
#include "tools/filespack/files/interruption.h"
#include "tools/filespack/output/progress_bar.h"
#include "tools/filespack/output/text_format.h"

namespace {

constexpr int64_t kMaxTotal = std::numeric_limits<int32_t>::max();

// The time every file gets, when one is asked for; false for a malformed request.
bool FixedTime(const CreateOptions& options, const ToolIo& io, std::optional<FileTime>& time,
               std::string& error) {
    if (!options.mtime.empty()) {
        time = ParseUserTime(options.mtime);
        if (!time) {
            error = "--mtime \"" + options.mtime +
                    "\": give seconds since 1970 or a date YYYY-MM-DD[THH:MM:SS] (UTC)";
        }
        return time.has_value();
    }
    if (!io.source_date_epoch || io.source_date_epoch->empty()) return true;
    const std::string& value = *io.source_date_epoch;
    const bool digits = value.find_first_not_of("0123456789") == std::string::npos;
    if (digits && value.size() <= 12) time = ParseUserTime(value);
    if (!time) error = "SOURCE_DATE_EPOCH=\"" + value + "\" is not a number of seconds";
    return time.has_value();
}

// Stores one file; false with `error` set when it could not be read whole, or when what was
// read may not be one version of it: a file rewritten while it is read, even at the same size,
// would be stored torn.
bool PackOne(PackageWriter& writer, const InputFile& input, ProgressBar& bar, int64_t& done,
             int64_t total, PackageFile& package, ToolIo& io, std::string& error) {
    std::FILE* in = OpenFile(input.path, "rb");
    if (!in) {
        error = input.shown + ": cannot open the file";
        return false;
    }
    const std::optional<FileStamp> before = StampOf(in);
    PackageEntryHead head;
    head.name = input.name_sjis;
    head.attributes = input.attributes;
    head.times = input.times;
    const bool stored =
        before && writer.AddFile(head, input.size, [&](uint8_t* buffer, size_t count) -> size_t {
            StopIfInterrupted(package, io, &bar);
            const size_t got = std::fread(buffer, 1, count, in);
            done += static_cast<int64_t>(got);
            bar.Update(done, total);
            return got;
        });
    const bool grew = stored && std::fgetc(in) != EOF;
    const std::optional<FileStamp> after = StampOf(in);
    const bool read_failed = !before || !after || std::ferror(in) != 0;
    std::fclose(in);
    const bool changed = !read_failed && (before->size != input.size || *after != *before || grew);
    if (read_failed) {
        error = input.shown + ": cannot read the file";
    } else if (changed) {
        error = input.shown + ": the file changed while it was packed";
    } else if (!stored) {
        error = input.shown + ": " + writer.error();
    }
    return error.empty();
}

}  // namespace

int PackInto(const CreateOptions& options, ToolIo& io, PackageFile& package,
             PackSummary& summary) {
    std::optional<FileTime> fixed_time;
    std::string error;
    if (!FixedTime(options, io, fixed_time, error)) return Complain(io, EXIT_USAGE, error);

    const std::filesystem::path output = PathFromUtf8(options.output);
    std::vector<std::filesystem::path> inputs;
    for (const auto& input : options.inputs) inputs.push_back(PathFromUtf8(input));
    InputOptions input_options;
    input_options.recursive = options.recursive;
    input_options.skip_subfolders = options.skip_subfolders;
    input_options.fixed_time = fixed_time;
    // Neither the package nor what killed runs left of it is ever packed into it.
    input_options.excluded = UnfinishedPackagesFor(output);
    input_options.excluded.push_back(output);
    InputSet set = CollectInputs(inputs, input_options);
    if (!set.ok) return Complain(io, EXIT_PROBLEM, set.error);
    // Frame and classic chunks are compressed piece by piece, so their packages keep the order
    // a folder is walked in.
    if (options.method == ChunkMethod::stream) OrderForStream(set.files);
    if (!options.quiet) {
        for (const auto& skipped : set.skipped) {
            io.err << Prefix(io) << "skipped the subfolder " << skipped << '\n';
        }
    }

    int64_t total = 0;
    for (const auto& file : set.files) {
        if (file.size > static_cast<uint64_t>(kMaxTotal)) {
            return Complain(io, EXIT_PROBLEM,
                            file.shown + ": 2 GiB or larger, more than a package can hold");
        }
        total += static_cast<int64_t>(file.size);
        if (total > kMaxTotal) {
            return Complain(io, EXIT_PROBLEM,
                            "the files add up to 2 GiB or more, more than a package can hold");
        }
    }
    if (set.files.empty()) return Complain(io, EXIT_PROBLEM, "no files to pack");
    if (total == 0) {
        return Complain(io, EXIT_PROBLEM,
                        "the files to pack are all empty; the extractor refuses a package whose "
                        "files add up to 0 bytes, so none is made");
    }

    std::FILE* out = package.Create(error);
    if (!out) {
        return Complain(
            io, EXIT_PROBLEM,
            options.output + ": cannot create a file beside it to write into: " + error);
    }
    const int32_t block_size =
        options.block_size > 0 ? options.block_size : DefaultBlockSize(options.method, total);
    PackageWriter writer(out, block_size);
    writer.SetFixedPieces(options.fast);
    writer.SetMethod(options.method, options.level > 0 ? options.level : DefaultLevel(options.method));
    writer.SetStreamTotal(static_cast<uint64_t>(total));
    ProgressBar bar(io.err, io.terminal && !options.quiet, "packing   ");
    int64_t done = 0;
    for (const auto& file : set.files) {
        if (!PackOne(writer, file, bar, done, total, package, io, error)) {
            bar.Clear();
            return Complain(io, EXIT_PROBLEM, error);
        }
    }
    const bool finished = writer.Finish();
    StopIfInterrupted(package, io, &bar);
    if (!finished) {
        bar.Clear();
        return Complain(io, EXIT_PROBLEM, options.output + ": " + writer.error());
    }
    bar.Finish();
    summary.files = set.files.size();
    summary.total = total;
    return EXIT_OK;
}

void StopIfInterrupted(PackageFile& file, ToolIo& io, ProgressBar* bar) {
    const int signal = InterruptionGuard::Pending();
    if (signal == 0) return;
    file.Discard();
    if (bar) bar->Clear();
    io.err << Prefix(io) << "interrupted; the unfinished file was removed" << std::endl;
    ExitInterrupted(signal);
}

int RunCreate(const CreateOptions& options, ToolIo& io) {
    const InterruptionGuard interruption;
    const std::filesystem::path output = PathFromUtf8(options.output);
    PackageFile package(output);
    PackSummary summary;
    const int code = PackInto(options, io, package, summary);
    if (code != EXIT_OK) return code;
    std::string error;
    if (!package.Keep(error)) return Complain(io, EXIT_PROBLEM, options.output + ": " + error);
    if (!options.quiet) {
        std::error_code ec;
        const auto length = std::filesystem::file_size(output, ec);
        io.out << "Packed " << summary.files << (summary.files == 1 ? " file, " : " files, ")
               << FormatBytes(summary.total) << ", into " << options.output << " ("
               << FormatBytes(ec ? 0 : static_cast<int64_t>(length)) << ")\n";
    }
    return EXIT_OK;
}
