// `exe`: a copy of the generic program carrying a package and a product identity. The program
// is read, its resources replaced and the whole file rewritten; the result is written beside
// OUTPUT and renamed into place only when complete, as `create` does with packages.
#include <cstdio>
#include <deque>

#include "package/ascii_case.h"
#include "package/name_encoding.h"
#include "package/utf8_text.h"
#include "resources/identity_rules.h"
#include "resources/stamp_resources.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/files/interruption.h"
#include "pe/icon_file.h"
#include "tools/filespack/files/package_file.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/reading/integrity_report.h"
#include "tools/filespack/reading/package_source.h"
#include "pe/pe_image.h"
#include "tools/filespack/files/program_location.h"
#include "tools/filespack/output/text_format.h"
#include "pe/version_record.h"

namespace {

constexpr uint16_t kJapanese = 0x0411;
constexpr uint16_t kNeutral = 0;
constexpr uint16_t kFirstIconId = 1;
constexpr char kSetupProgram[] = "setup.exe";

struct Identity {
    std::string name;
    std::string description;
    std::string version;
    std::string caption;
    std::string resource_name;
};

std::string IdentityWords(IdentityProblem problem, const Identity& sjis,
                          const ExeOptions& options) {
    const auto bytes = [](size_t n) { return std::to_string(n) + " bytes"; };
    switch (problem) {
        case IdentityProblem::NAME_AND_VERSION_TOO_LONG:
            return "--name and --product-version together take " +
                   bytes(sjis.name.size() + sjis.version.size()) + " in Shift-JIS; at most " +
                   std::to_string(kMaxNameAndVersion) + " fit the program's text";
        case IdentityProblem::CAPTION_AND_VERSION_TOO_LONG:
            return "--caption and --product-version together take " +
                   bytes(sjis.caption.size() + sjis.version.size()) + " in Shift-JIS; at most " +
                   std::to_string(kMaxCaptionAndVersion) + " fit the program's text";
        case IdentityProblem::DESCRIPTION_TOO_LONG:
            return "--description takes " + bytes(sjis.description.size()) +
                   " in Shift-JIS; at most " + std::to_string(kMaxDescription) +
                   " fit the program's text";
        case IdentityProblem::BAD_RESOURCE_NAME:
            return "--resource-name \"" + options.resource_name +
                   "\" must be letters, digits and underscores, not starting with a digit, at "
                   "most " + std::to_string(kMaxResourceName) + " characters";
        case IdentityProblem::BAD_SHIFT_JIS:
            return "the product's texts may not hold a NUL character";
        case IdentityProblem::NONE:
            break;
    }
    return "";
}

// The five strings in Shift-JIS, checked as the program will check them; "" when they hold.
std::string ToIdentity(const ExeOptions& options, Identity& out) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"--name", &options.name},
        {"--description", &options.description},
        {"--product-version", &options.product_version},
        {"--caption", &options.caption},
        {"--resource-name", &options.resource_name},
    };
    std::string* targets[] = {&out.name, &out.description, &out.version, &out.caption,
                              &out.resource_name};
    for (size_t i = 0; i < 5; ++i) {
        if (!Utf8ToShiftJis(*texts[i].second, *targets[i])) {
            return std::string(texts[i].first) + " \"" + *texts[i].second +
                   "\" has no Shift-JIS (code page 932) form";
        }
    }
    // As the program does when no caption is given.
    if (out.caption.empty()) out.caption = "Self Unpack";
    // FindResourceA looks names up in capitals.
    out.resource_name = AsciiUppercase(out.resource_name);
    const IdentityProblem problem = CheckIdentity(
        {out.name, out.description, out.version, out.caption, out.resource_name});
    return IdentityWords(problem, out, options);
}

bool IsMarker(const Resource& r) {
    return r.type == ResourceKey::Named(kIdentityResourceType) &&
           r.name == ResourceKey::Named(kProgramMarkerName);
}

// Whether the program declares that it reads a kind of chunk: a line of its marker.
bool Reads(const std::vector<Resource>& resources, std::string_view line) {
    for (const Resource& r : resources) {
        if (!IsMarker(r)) continue;
        const std::string_view text(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
        for (size_t at = text.find(line); at != std::string_view::npos;
             at = text.find(line, at + 1)) {
            const size_t end = at + line.size();
            const bool starts_line = at > 0 && text[at - 1] == '\n';
            const bool ends_line = end == text.size() || text[end] == '\n' || text[end] == '\r';
            if (starts_line && ends_line) return true;
        }
    }
    return false;
}

bool HasMarker(const std::vector<Resource>& resources) {
    const std::string_view marker = kProgramMarkerText;
    for (const Resource& r : resources) {
        if (!IsMarker(r) || r.bytes.size() < marker.size()) continue;
        if (std::equal(marker.begin(), marker.end(), r.bytes.begin())) return true;
    }
    return false;
}

// What of the program's own resources the product keeps: not a package, identity or version
// record it may carry from an earlier stamping, nor its icon when the product brings one.
bool Kept(const Resource& r, bool replace_icon) {
    if (r.type == ResourceKey::Named(kPackageResourceType)) return false;
    if (r.type == ResourceKey::Named(kIdentityResourceType)) return IsMarker(r);
    if (r.type == ResourceKey::Number(kTypeVersion)) return false;
    if (replace_icon && (r.type == ResourceKey::Number(kTypeIcon) ||
                         r.type == ResourceKey::Number(kTypeGroupIcon))) {
        return false;
    }
    return true;
}

bool ReadWhole(const std::string& utf8_path, FileImage& image, std::string& error) {
    if (!image.Open(PathFromUtf8(utf8_path), error)) {
        error = utf8_path + ": " + error;
        return false;
    }
    return true;
}

bool IsUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        if (NextUtf8(text, at) == NOT_UTF8) return false;
    }
    return true;
}

// Every text option in UTF-8, so that a message may quote it.
std::string FirstNotUtf8(const ExeOptions& options) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"--name", &options.name},           {"--description", &options.description},
        {"--product-version", &options.product_version}, {"--caption", &options.caption},
        {"--resource-name", &options.resource_name},     {"--company", &options.company},
        {"--copyright", &options.copyright}, {"--file-version", &options.file_version},
    };
    for (const auto& [option, text] : texts) {
        if (!IsUtf8(*text)) return std::string(option) + " is not UTF-8 text";
    }
    return "";
}

// The version record: the numbers from --file-version, else those in --product-version.
int BuildVersion(const ExeOptions& options, ToolIo& io, std::vector<uint8_t>& out) {
    VersionRecord version;
    if (const auto numbers = VersionNumbersIn(options.product_version)) {
        version.product_version = *numbers;
    } else if (!options.product_version.empty()) {
        io.err << Prefix(io) << "warning: --product-version \"" << options.product_version
               << "\" holds no version number of 0 to 65535; the version record says 1.0.0.0\n";
    }
    version.file_version = version.product_version;
    if (!options.file_version.empty()) {
        const auto numbers = ParseVersionNumbers(options.file_version);
        if (!numbers) {
            return Complain(io, EXIT_USAGE,
                            "--file-version \"" + options.file_version +
                                "\": give up to four numbers of 0 to 65535, such as 1.7.1.0");
        }
        version.file_version = *numbers;
    }
    const std::string file_version_text =
        options.file_version.empty() ? options.product_version : options.file_version;
    version.strings = {
        {"CompanyName", options.company},
        {"FileDescription", options.description},
        {"FileVersion", file_version_text},
        {"InternalName", options.name},
        {"LegalCopyright", options.copyright},
        {"OriginalFilename", DisplayPath(PathFromUtf8(options.output).filename())},
        {"ProductName", options.name},
        {"ProductVersion", options.product_version},
    };
    if (!BuildVersionRecord(version, out)) {
        return Complain(io, EXIT_PROBLEM,
                        "the version record's texts take more than the 64 KiB it may hold");
    }
    return EXIT_OK;
}

// The program to stamp, which must be ours: another executable would not read the identity.
struct Stub {
    std::string shown;
    FileImage file;
    PeImage image;
    std::vector<Resource> resources;
    bool reads_zstd = false;
    bool reads_stream = false;
};

std::string OlderProgram(const std::string& shown, const char* kind) {
    return shown + " is a program that does not read " + kind + " chunks";
}

int LoadStub(const ExeOptions& options, ToolIo& io, Stub& stub) {
    const std::filesystem::path path =
        options.stub.empty() ? GenericProgramPath() : PathFromUtf8(options.stub);
    stub.shown = options.stub.empty() ? DisplayPath(path) : options.stub;
    std::string error;
    if (!stub.file.Open(path, error)) {
        return Complain(io, EXIT_PROBLEM,
                        "the program to stamp, " + stub.shown + ": " + error +
                            (options.stub.empty() ? " (give one with --stub)" : ""));
    }
    if (!stub.image.Parse(stub.file.bytes(), error)) {
        return Complain(io, EXIT_PROBLEM, stub.shown + ": " + error);
    }
    auto resources = stub.image.Resources(error);
    if (!resources) return Complain(io, EXIT_PROBLEM, stub.shown + ": " + error);
    if (!HasMarker(*resources)) {
        return Complain(io, EXIT_PROBLEM,
                        stub.shown + ": not the filespack program (it carries no " +
                            kIdentityResourceType + " " + kProgramMarkerName + " marker)");
    }
    // An older program fails every chunk of a mode it predates: it gets none, neither packed
    // here nor ready.
    stub.reads_zstd = Reads(*resources, kProgramReadsZstd);
    stub.reads_stream = Reads(*resources, kProgramReadsStream);
    const bool packs = options.package.empty() && !options.no_package;
    if (packs && !stub.reads_zstd && options.method == ChunkMethod::zstd) {
        return Complain(io, EXIT_PROBLEM,
                        OlderProgram(stub.shown, "zstd") + "; pack with --method classic");
    }
    if (packs && !stub.reads_stream && options.method == ChunkMethod::stream) {
        return Complain(io, EXIT_PROBLEM,
                        OlderProgram(stub.shown, "stream") +
                            (stub.reads_zstd ? "; pack with --method zstd or --method classic"
                                             : "; pack with --method classic"));
    }
    stub.resources = std::move(*resources);
    return EXIT_OK;
}

int LoadIcon(const ExeOptions& options, ToolIo& io, FileImage& file, IconResources& icon) {
    if (options.icon.empty()) return EXIT_OK;
    std::string error;
    if (!ReadWhole(options.icon, file, error) ||
        !SplitIconFile(file.bytes(), kFirstIconId, icon, error)) {
        return Complain(io, EXIT_PROBLEM, options.icon + ": " + error);
    }
    return EXIT_OK;
}

// The package to stamp: a ready one, or the inputs packed into a file of this run's own.
struct Package {
    PackageSource ready;
    PackageFile packed;
    FileImage packed_bytes;
    std::span<const uint8_t> bytes;
    PackSummary summary;

    explicit Package(const std::filesystem::path& output) : packed(output) {}
};

// A ready package is held to what `test` holds it to, which `exe` would otherwise carry into a
// product that fails on every machine; a package made before the integrity record is only
// warned about. What is tested is the copy that is stamped, never the file again.
int CheckReady(const ExeOptions& options, ToolIo& io, const PackageSource& ready) {
    DecodeOptions test;
    test.package = options.package;
    test.resource = ready.resource;
    test.quiet = true;
    if (const int code = RunTestOn(test, io, ready); code != EXIT_OK) return code;
    if (CheckSourceIntegrity(ready).verdict == IntegrityVerdict::NO_RECORD) {
        io.err << Prefix(io) << "warning: " << options.package
               << " has no integrity record (an older package): damage on its way to a user "
                  "would go unnoticed; pack it again with filespack create\n";
    }
    return EXIT_OK;
}

// The ready package's bytes, copied out of the file: another program may write to the file
// while this runs, and the bytes tested must be the bytes stamped.
bool HoldReady(const ExeOptions& options, ToolIo& io, PackageSource& ready, int& code) {
    const std::span<const uint8_t> bytes = ready.bytes();
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    if (ready.file.Shrank()) {
        code = Complain(io, EXIT_PROBLEM, ShrankWords(options.package));
        return false;
    }
    PackageSource held;
    held.ok = true;
    held.length = copy.size();
    held.resource = ready.resource;
    held.signature = ready.signature;
    held.file.Adopt(std::move(copy));
    ready = std::move(held);
    return true;
}

// A program that predates a kind of chunk fails on every machine: name the kind and the count.
int RefuseUnread(const ExeOptions& options, ToolIo& io, const Stub& stub, const char* kind,
                 int32_t count, const char* method) {
    return Complain(io, EXIT_PROBLEM,
                    OlderProgram(stub.shown, kind) + ", and " +
                        (options.package.empty() ? options.output : options.package) + " holds " +
                        std::to_string(count) + " of them; repack it with --method " + method);
}

int LoadPackageToStamp(const ExeOptions& options, ToolIo& io, const Stub& stub,
                       Package& package) {
    if (options.no_package) return EXIT_OK;
    std::string error;
    if (!options.package.empty()) {
        package.ready = LoadPackage(PathFromUtf8(options.package), "",
                                    "stamp one package: take it out with filespack extract "
                                    "--resource, or give its package file");
        if (!package.ready.ok) return Complain(io, EXIT_PROBLEM, package.ready.error);
        if (int code = EXIT_OK; !HoldReady(options, io, package.ready, code)) return code;
        if (const int code = CheckReady(options, io, package.ready); code != EXIT_OK) return code;
        package.bytes = package.ready.bytes();
    } else {
        // Packing a large folder takes a while: the same bar as create's, unless -q.
        const int code = PackInto(options, io, package.packed, package.summary);
        if (code != EXIT_OK) return code;
        if (!package.packed.Flush(error) || !package.packed_bytes.Open(package.packed.path(), error)) {
            return Complain(io, EXIT_PROBLEM, options.output + ": " + error);
        }
        package.bytes = package.packed_bytes.bytes();
    }
    const LayoutScan scan = ReadPackageLayout(package.bytes);
    if (!scan.ok) {
        return Complain(io, EXIT_PROBLEM,
                        (options.package.empty() ? options.output : options.package) + ": " +
                            scan.error);
    }
    if (!stub.reads_zstd && scan.layout.zstd_chunks > 0) {
        return RefuseUnread(options, io, stub, "zstd", scan.layout.zstd_chunks, "classic");
    }
    if (!stub.reads_stream && scan.layout.stream_chunks > 0) {
        return RefuseUnread(options, io, stub, "stream", scan.layout.stream_chunks,
                            stub.reads_zstd ? "zstd" : "classic");
    }
    bool has_setup = false;
    for (const auto& e : scan.layout.entries) {
        has_setup |= EqualsIgnoringAsciiCase(e.name, kSetupProgram);
    }
    if (!has_setup) {
        io.err << Prefix(io) << "warning: the package has no Setup.exe; the product can only "
                  "unpack (an install would fail)\n";
    }
    package.summary.files = scan.layout.entries.size();
    package.summary.total = scan.layout.total_size;
    return EXIT_OK;
}

// The program's own resources as the product keeps them, and the product's.
std::vector<Resource> ProductResources(const ExeOptions& options, const Identity& identity,
                                       const Stub& stub, std::span<const uint8_t> package,
                                       std::span<const uint8_t> version,
                                       const IconResources& icon) {
    std::vector<Resource> resources;
    for (const Resource& r : stub.resources) {
        if (Kept(r, !options.icon.empty())) resources.push_back(r);
    }
    const auto add = [&](ResourceKey type, ResourceKey name, uint16_t language,
                         std::span<const uint8_t> bytes) {
        Resource r;
        r.type = std::move(type);
        r.name = std::move(name);
        r.language = language;
        r.bytes = bytes;
        resources.push_back(std::move(r));
    };
    const auto as_bytes = [](const std::string& s) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    const ResourceKey identity_type = ResourceKey::Named(kIdentityResourceType);
    // Empty strings are left out: the program's default for each is empty too, except the
    // caption, which is never empty here.
    const std::pair<const char*, const std::string*> strings[] = {
        {kIdentityName, &identity.name},
        {kIdentityDescription, &identity.description},
        {kIdentityVersion, &identity.version},
        {kIdentityCaption, &identity.caption},
        {kIdentityResourceName, &identity.resource_name},
    };
    for (const auto& [key, text] : strings) {
        if (!text->empty()) add(identity_type, ResourceKey::Named(key), kNeutral, as_bytes(*text));
    }
    if (!package.empty()) {
        // Language neutral: FindResourceA finds it whatever the user's language.
        add(ResourceKey::Named(kPackageResourceType), ResourceKey::Named(identity.resource_name),
            kNeutral, package);
    }
    add(ResourceKey::Number(kTypeVersion), ResourceKey::Number(1), kJapanese, version);
    for (size_t i = 0; i < icon.images.size(); ++i) {
        add(ResourceKey::Number(kTypeIcon), ResourceKey::Number(uint16_t(kFirstIconId + i)),
            kJapanese, icon.images[i]);
    }
    if (!icon.group.empty()) {
        add(ResourceKey::Number(kTypeGroupIcon), ResourceKey::Number(1), kJapanese, icon.group);
    }
    return resources;
}

int WriteProduct(const ExeOptions& options, ToolIo& io, const std::vector<uint8_t>& image,
                 PackageFile& packed) {
    PackageFile product(PathFromUtf8(options.output));
    std::string error;
    std::FILE* out = product.Create(error);
    if (!out) {
        return Complain(io, EXIT_PROBLEM,
                        options.output + ": cannot create a file beside it to write into: " + error);
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (InterruptionGuard::Pending() != 0) packed.Discard();
    StopIfInterrupted(product, io);
    if (!written || !product.Keep(error)) {
        if (error.empty()) error = "cannot write the file";
        return Complain(io, EXIT_PROBLEM, options.output + ": " + error);
    }
    return EXIT_OK;
}

void SayWritten(const ExeOptions& options, ToolIo& io, const std::vector<uint8_t>& image,
                const Stub& stub, const Package& package) {
    if (options.quiet) return;
    io.out << "Wrote " << options.output << " (" << FormatBytes(int64_t(image.size()))
           << "): " << stub.shown << " with ";
    if (package.bytes.empty()) {
        io.out << "no package\n";
        return;
    }
    io.out << package.summary.files << (package.summary.files == 1 ? " file, " : " files, ")
           << FormatBytes(package.summary.total) << ", in resource " << options.resource_name
           << '\n';
}

}  // namespace

int RunExe(const ExeOptions& options, ToolIo& io) {
    if (const std::string bad = FirstNotUtf8(options); !bad.empty()) {
        return Complain(io, EXIT_PROBLEM, bad);
    }
    Identity identity;
    if (const std::string error = ToIdentity(options, identity); !error.empty()) {
        return Complain(io, EXIT_PROBLEM, error);
    }
    std::vector<uint8_t> version;
    if (const int code = BuildVersion(options, io, version); code != EXIT_OK) return code;
    Stub stub;
    if (const int code = LoadStub(options, io, stub); code != EXIT_OK) return code;
    FileImage icon_file;
    IconResources icon;
    if (const int code = LoadIcon(options, io, icon_file, icon); code != EXIT_OK) return code;
    const InterruptionGuard interruption;
    Package package(PathFromUtf8(options.output));
    if (const int code = LoadPackageToStamp(options, io, stub, package); code != EXIT_OK) return code;
    StopIfInterrupted(package.packed, io);

    std::vector<uint8_t> image;
    std::string error;
    if (!stub.image.Rewrite(ProductResources(options, identity, stub, package.bytes, version, icon),
                            image, error)) {
        return Complain(io, EXIT_PROBLEM, stub.shown + ": " + error);
    }
    if (const int code = WriteProduct(options, io, image, package.packed); code != EXIT_OK) {
        return code;
    }
    SayWritten(options, io, image, stub, package);
    return EXIT_OK;
}
