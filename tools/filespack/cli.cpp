#include "tools/filespack/cli.h"

#include <CLI/CLI.hpp>

#include "tools/filespack/commands.h"
#include "tools/filespack/engine_run.h"

namespace {

constexpr const char* kExitCodes =
    "Exit codes: 0 success, 1 a package or file problem, 2 a usage error.";

constexpr const char* kPackageHelp =
    "A package file, or a Windows executable that carries one as a resource of type FILESPACK";

void AddReadOptions(CLI::App& verb, ReadOptions& options) {
    verb.add_option("PACKAGE", options.package, kPackageHelp)->required();
    verb.add_option("--resource", options.resource,
                    "In an executable, the package resource of this name (or #N); needed only "
                    "when it carries several");
    verb.add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
    verb.footer(kExitCodes);
}

void AddDecodeOptions(CLI::App& verb, DecodeOptions& options) {
    AddReadOptions(verb, options);
    verb.add_option("-j,--threads", options.threads,
                    "Threads that decode chunks ahead of the one that writes (default: one per "
                    "processor it may use; 1 decodes each chunk as it is written, like the Windows "
                    "program)")
        ->check(CLI::Range(1, kMaxDecodeThreads));
    verb.add_flag("--require-integrity", options.require_integrity,
                  "Fail on a package that carries no integrity record (older packages)");
}

}  // namespace

int RunFilespack(const std::vector<std::string>& args, ToolIo& io) {
    CLI::App app{
        "filespack: packs files into packages for the self-extracting program, lists, "
        "tests and extracts them.",
        "filespack"};
    app.set_version_flag("--version", "filespack 1.0.0");
    app.require_subcommand(1);
    app.footer(kExitCodes);

    CreateOptions create;
    CLI::App* create_verb = app.add_subcommand(
        "create",
        "Packs files, and the files at the top of folders, into a new package (replacing "
        "OUTPUT). Names must have a Shift-JIS form; a package has no folders.");
    create_verb->add_option("OUTPUT", create.output, "The package to write")->required();
    create_verb
        ->add_option("INPUT", create.inputs,
                     "Files, and folders whose files to pack (in name order)")
        ->required();
    create_verb
        ->add_option("--block-size", create.block_size,
                     "Largest piece in bytes; each piece is one chunk and the extractor needs a "
                     "buffer of this size plus 512")
        ->check(CLI::Range(MIN_BLOCK_SIZE, MAX_BLOCK_SIZE))
        ->capture_default_str();
    create_verb->add_flag("--fast", create.fast,
                          "Cut every file into pieces of exactly the block size instead of where "
                          "the data changes: packs faster, a package a few percent larger");
    create_verb->add_flag("--skip-subfolders", create.skip_subfolders,
                          "Leave out folders inside the named folders instead of failing");
    create_verb->add_option(
        "--mtime", create.mtime,
        "Give every file this creation, access and write time, for reproducible packages: "
        "seconds since 1970 or a UTC date YYYY-MM-DD[THH:MM:SS]. Without it the environment "
        "variable SOURCE_DATE_EPOCH does the same when set");
    create_verb->add_flag("-q,--quiet", create.quiet, "No progress bar and no summary");
    create_verb->footer(kExitCodes);

    ListOptions list;
    CLI::App* list_verb = app.add_subcommand(
        "list", "Shows each file's name, size, attributes and times (UTC), without decoding");
    AddReadOptions(*list_verb, list);
    list_verb->add_flag("--json", list.json, "Write JSON instead of a table");

    DecodeOptions test;
    CLI::App* test_verb = app.add_subcommand(
        "test",
        "Decodes everything with the extraction engine, keeps nothing, and reports the first "
        "problem");
    AddDecodeOptions(*test_verb, test);

    ExtractOptions extract;
    CLI::App* extract_verb = app.add_subcommand(
        "extract",
        "Extracts the files into a folder, created if needed; an existing file is never "
        "overwritten (the extraction stops there)");
    AddDecodeOptions(*extract_verb, extract);
    extract_verb->add_option("-o,--output", extract.folder,
                             "The folder (default: PACKAGE without its extension)");
    extract_verb->add_flag(
        "--ignore-integrity", extract.ignore_integrity,
        "Extract a package that fails its integrity check anyway, as far as the engine gets, "
        "to salvage what is intact; the run still ends with exit code 1");

    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, io.out, io.err);
        return code == 0 ? EXIT_OK : EXIT_USAGE;
    }

    if (create_verb->parsed()) return RunCreate(create, io);
    if (list_verb->parsed()) return RunList(list, io);
    if (test_verb->parsed()) return RunTest(test, io);
    return RunExtract(extract, io);
}

int Complain(ToolIo& io, int code, const std::string& message) {
    io.err << "filespack: " << message << '\n';
    return code;
}
