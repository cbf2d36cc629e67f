#include "tools/filespack/command_line/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>

#include "codec/frame_encode.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/reading/engine_run.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/files/program_location.h"
#include "tools/filespack/command_line/size_argument.h"
#include "tools/filespack/command_line/verb_suggestion.h"

namespace {

constexpr std::array<std::string_view, 5> kVerbs{"create", "exe", "list", "test", "extract"};

bool IsVerb(std::string_view word) {
    return std::find(kVerbs.begin(), kVerbs.end(), word) != kVerbs.end();
}

constexpr const char* kExitCodes =
    "Exit codes: 0 success, 1 a package or file problem, 2 a usage error.";

constexpr const char* kPackageHelp =
    "A package file, or a Windows executable that carries one as a resource of type FILESPACK";

// The block size in any form ParseSize reads, handed on to CLI11 as a plain number.
CLI::Validator BlockSize() {
    return CLI::Validator(
        [](std::string& text) {
            int64_t bytes = 0;
            const std::string error = ParseSize(text, MIN_BLOCK_SIZE, MAX_BLOCK_SIZE, bytes);
            if (error.empty()) text = std::to_string(bytes);
            return error;
        },
        "");
}

const std::map<std::string, ChunkMethod> kMethods{{"classic", ChunkMethod::classic},
                                                  {"zstd", ChunkMethod::zstd},
                                                  {"stream", ChunkMethod::stream}};

// --method and --level, for create and exe.
void AddMethodOptions(CLI::App& verb, CreateOptions& options, const std::string& method_help) {
    verb.add_option("--method", options.method, method_help)
        ->transform(CLI::CheckedTransformer(kMethods, CLI::ignore_case))
        ->type_name("classic|zstd|stream");
    verb.add_option("--level", options.level,
                    "Level of zstd and stream chunks, " + std::to_string(MIN_FRAME_LEVEL) +
                        " (fastest) to " + std::to_string(MAX_FRAME_LEVEL) + " (smallest; default " +
                        std::to_string(DEFAULT_FRAME_LEVEL) + " for zstd, " +
                        std::to_string(DEFAULT_STREAM_LEVEL) + " for stream)")
        ->check(CLI::Range(MIN_FRAME_LEVEL, MAX_FRAME_LEVEL));
}

void AddReadOptions(CLI::App& verb, ReadOptions& options) {
    verb.add_option("PACKAGE", options.package, kPackageHelp)->required();
    verb.add_option("--resource", options.resource,
                    "In an executable, the package resource of this name (or #N); needed only "
                    "when it carries several");
    verb.footer(kExitCodes);
}

void AddDecodeOptions(CLI::App& verb, DecodeOptions& options) {
    AddReadOptions(verb, options);
    verb.add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
    verb.add_flag("--json", options.json,
                  "Write the outcome as one JSON object on standard output (no progress bar, "
                  "no summary; messages still go to standard error)");
    verb.add_option("-j,--threads", options.threads,
                    "Threads that decode chunks ahead of the one that writes (default: one per "
                    "processor it may use; 1 decodes each chunk as it is written, like the Windows "
                    "program)")
        ->check(CLI::Range(1, kMaxDecodeThreads));
    verb.add_flag("--require-integrity", options.require_integrity,
                  "Fail on a package that carries no integrity record (older packages)");
}

int UnknownVerb(ToolIo& io, const std::string& typed) {
    const std::string guess = SuggestVerb(typed, kVerbs);
    return Complain(io, EXIT_USAGE,
                    "'" + typed + "' is not a verb; " +
                        (guess.empty() ? std::string("the verbs are create, exe, list, test and "
                                                     "extract")
                                       : "did you mean '" + guess + "'?") +
                        " (see 'filespack --help')");
}

// Each verb's options, bound to where its run will read them.
CLI::App* AddCreateVerb(CLI::App& app, CreateOptions& create) {
    CLI::App* create_verb = app.add_subcommand(
        "create",
        "Packs files, and the files at the top of folders (with -r, their whole trees), into a "
        "new package (replacing OUTPUT). Names must have a Shift-JIS form; folders are stored "
        "only as part of their files' names, so empty folders are not stored.");
    create_verb->add_option("OUTPUT", create.output, "The package to write")->required();
    create_verb
        ->add_option("INPUT", create.inputs,
                     "Files, and folders whose files to pack (in name order)")
        ->required();
    create_verb
        ->add_option("--block-size", create.block_size,
                     "Largest piece, " + FormatSize(MIN_BLOCK_SIZE) + " to " +
                         FormatSize(MAX_BLOCK_SIZE) + " (default: " +
                         FormatSize(DEFAULT_BLOCK_SIZE) + " classic; zstd " +
                         FormatSize(MAX_BLOCK_SIZE) + ", less for small packages" +
                         "); k is 1000, M 1000000, Ki 1024, Mi 1048576. Each piece is one chunk "
                         "and the extractor needs a buffer of this size plus 512")
        ->transform(BlockSize())
        ->type_name("SIZE");
    create_verb->add_flag("--fast", create.fast,
                          "Cut every file into pieces of exactly the block size instead of where "
                          "the data changes: packs faster, a package a few percent larger");
    AddMethodOptions(*create_verb, create,
                     "How chunks are encoded: classic (the default), which every reader of the "
                     "format extracts; zstd, each piece its own zstd frame, about a third "
                     "smaller; or stream, one zstd stream through every file, smaller still. "
                     "Only readers that know zstd or stream chunks extract them");
    create_verb->add_flag("-r,--recursive", create.recursive,
                          "Pack the folders inside the named folders too, with their files (a "
                          "folder's files, then each subfolder, depth first; empty folders are "
                          "not stored). Readers older than folders refuse such a package");
    create_verb->add_flag("--skip-subfolders", create.skip_subfolders,
                          "Leave out folders inside the named folders instead of failing");
    create_verb->add_option(
        "--mtime", create.mtime,
        "Give every file this creation, access and write time, for reproducible packages: "
        "seconds since 1970 or a UTC date YYYY-MM-DD[THH:MM:SS]. Without it the environment "
        "variable SOURCE_DATE_EPOCH does the same when set");
    create_verb->add_flag("-q,--quiet", create.quiet, "No progress bar and no summary");
    create_verb->footer(kExitCodes);
    return create_verb;
}

CLI::App* AddExeVerb(CLI::App& app, ExeOptions& exe) {
    CLI::App* exe_verb = app.add_subcommand(
        "exe",
        "Packs files as create does and writes a copy of the generic Windows program carrying "
        "the package and the product's identity: a product executable, replacing OUTPUT. Texts "
        "are UTF-8 here and Shift-JIS in the program, held to the program's limits.");
    exe_verb->add_option("OUTPUT", exe.output, "The product executable to write")->required();
    CLI::Option* inputs = exe_verb->add_option(
        "INPUT", exe.inputs, "Files, and folders whose files to pack (in name order)");
    exe_verb->add_option("--name", exe.name, "Product name (progress title, save dialog)")
        ->required();
    exe_verb
        ->add_option("--description", exe.description,
                     "Product description (the confirmation's text), at most 317 bytes in "
                     "Shift-JIS")
        ->required();
    exe_verb
        ->add_option("--product-version", exe.product_version,
                     "Product version as shown, such as \"Ver 1.71\"; with the name at most 226 "
                     "bytes in Shift-JIS")
        ->required();
    exe_verb
        ->add_option("--caption", exe.caption,
                     "Caption of the program's message boxes; empty gives \"Self Unpack\"")
        ->required();
    exe_verb
        ->add_option("--resource-name", exe.resource_name,
                     "Name of the package resource: letters, digits and underscores")
        ->capture_default_str();
    exe_verb->add_option("--icon", exe.icon, "An .ico file to replace the program's icon");
    exe_verb->add_option("--company", exe.company, "Company name for the version record");
    exe_verb->add_option("--copyright", exe.copyright, "Copyright notice for the version record");
    exe_verb->add_option("--file-version", exe.file_version,
                         "Numeric file version, such as 1.7.1.0 (default: the numbers in "
                         "--product-version)");
    const std::filesystem::path generic = GenericProgramPath();
    exe_verb->add_option("--stub", exe.stub,
                         "The build of the generic program to stamp, PE32 or PE32+ (default: " +
                             (generic.empty() ? std::string(kGenericProgramName)
                                              : DisplayPath(generic)) +
                             ")");
    CLI::Option* package = exe_verb->add_option(
        "--package", exe.package, "Stamp this ready package (or a product's) instead of packing");
    package->excludes(inputs);
    CLI::Option* no_package =
        exe_verb->add_flag("--no-package", exe.no_package, "")->group("");
    no_package->excludes(inputs)->excludes(package);
    exe_verb->add_option("--block-size", exe.block_size, "As for create")
        ->transform(BlockSize())
        ->type_name("SIZE");
    AddMethodOptions(*exe_verb, exe,
                     "As for create, but stream by default: the generic program reads all three");
    // The product carries its own reader, which knows folders.
    exe.recursive = true;
    exe_verb->add_flag("--skip-subfolders", exe.skip_subfolders,
                       "Pack only the top of the named folders (folders inside are packed by "
                       "default, as with create -r)");
    exe_verb->add_option("--mtime", exe.mtime,
                         "As for create: every file's times, for reproducible products");
    exe_verb->add_flag("-q,--quiet", exe.quiet, "No progress bar and no summary");
    exe_verb->footer(
        std::string("Stamps ") +
        (generic.empty() ? kGenericProgramName : DisplayPath(generic).c_str()) +
        " unless --stub names another. Sign the result afterwards (osslsigncode sign).\n" +
        kExitCodes);
    return exe_verb;
}

CLI::App* AddListVerb(CLI::App& app, ListOptions& list, bool& quiet_sink) {
    CLI::App* list_verb = app.add_subcommand(
        "list", "Shows each file's name, size, attributes and times (UTC), without decoding");
    AddReadOptions(*list_verb, list);
    list_verb->add_flag("-q,--quiet", quiet_sink, "")->group("");
    list_verb->add_flag("--json", list.json, "Write JSON instead of a table");
    return list_verb;
}

CLI::App* AddTestVerb(CLI::App& app, DecodeOptions& test) {
    CLI::App* test_verb = app.add_subcommand(
        "test",
        "Decodes everything with the extraction engine, keeps nothing, and reports the first "
        "problem");
    AddDecodeOptions(*test_verb, test);
    return test_verb;
}

CLI::App* AddExtractVerb(CLI::App& app, ExtractOptions& extract) {
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
    return extract_verb;
}

// The verb is always the first word: no option comes before it but --help and --version.
// Turns "help VERB" into "VERB --help"; an exit code when the run ends here.
std::optional<int> VerbFirst(std::vector<std::string>& words, ToolIo& io) {
    if (words.size() == 1) {
        return Complain(io, EXIT_USAGE,
                        "no verb given; give one of create, exe, list, test or extract (see "
                        "'filespack --help')");
    }
    if (words[1] == "help") {
        // As git and cargo do: help VERB is VERB --help.
        if (words.size() > 2 && !IsVerb(words[2])) return UnknownVerb(io, words[2]);
        words.erase(words.begin() + 1);
        words.insert(words.begin() + (words.size() > 1 ? 2 : 1), "--help");
        words.resize(std::min<size_t>(words.size(), 3));
    } else if (!words[1].starts_with("-") && !IsVerb(words[1])) {
        return UnknownVerb(io, words[1]);
    } else if (words[1] != "-h" && words[1] != "--help" && words[1] != "--version" &&
               !IsVerb(words[1])) {
        return Complain(io, EXIT_USAGE,
                        "unknown option '" + words[1] +
                            "'; a verb comes first, and its options after it (see 'filespack "
                            "--help')");
    }
    if (IsVerb(words[1])) io.verb = words[1];
    return std::nullopt;
}

// An exit code when the run ends here: a usage error, or --help and --version done.
std::optional<int> Parse(CLI::App& app, const std::vector<std::string>& words, ToolIo& io) {
    std::vector<const char*> argv;
    for (const auto& a : words) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            app.exit(e, io.out, io.err);
            return EXIT_OK;
        }
        const std::string see = io.verb.empty() ? "filespack --help" : "filespack help " + io.verb;
        return Complain(io, EXIT_USAGE, std::string(e.what()) + " (see '" + see + "')");
    }
    return std::nullopt;
}

}  // namespace

int RunFilespack(const std::vector<std::string>& args, ToolIo& io) {
    CLI::App app{
        "filespack: packs files into packages for the self-extracting program, lists, "
        "tests and extracts them.",
        "filespack"};
    app.set_version_flag("--version", std::string("filespack 1.0.0 (zstd ") +
                                          FrameLibraryVersion() + ")");
    app.require_subcommand(1);
    app.footer(std::string("'filespack help VERB' (or 'filespack VERB --help') shows a verb's "
                           "options.\n") +
               kExitCodes);

    CreateOptions create;
    CLI::App* create_verb = AddCreateVerb(app, create);
    ExeOptions exe;
    CLI::App* exe_verb = AddExeVerb(app, exe);
    ListOptions list;
    // list draws no bar and its table is its output; -q is still taken, unshown, so that a
    // script that passes it to every verb keeps working.
    bool list_quiet = false;
    CLI::App* list_verb = AddListVerb(app, list, list_quiet);
    DecodeOptions test;
    CLI::App* test_verb = AddTestVerb(app, test);
    ExtractOptions extract;
    AddExtractVerb(app, extract);

    std::vector<std::string> words = args.empty() ? std::vector<std::string>{"filespack"} : args;
    if (const std::optional<int> done = VerbFirst(words, io)) return *done;
    if (const std::optional<int> done = Parse(app, words, io)) return *done;

    if (create_verb->parsed()) return RunCreate(create, io);
    if (exe_verb->parsed()) {
        if (exe.inputs.empty() && exe.package.empty() && !exe.no_package) {
            return Complain(io, EXIT_USAGE,
                            "give INPUT files or folders to pack, or --package (see 'filespack "
                            "help exe')");
        }
        return RunExe(exe, io);
    }
    if (list_verb->parsed()) return RunList(list, io);
    if (test_verb->parsed()) return RunTest(test, io);
    return RunExtract(extract, io);
}

std::string Prefix(const ToolIo& io) {
    return io.verb.empty() ? "filespack: " : "filespack " + io.verb + ": ";
}

int Complain(ToolIo& io, int code, const std::string& message) {
    io.err << Prefix(io) << message << '\n';
    return code;
}
