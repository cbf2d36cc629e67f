// `exe`: a copy of the generic program carrying a package and a product identity. The program
// is read, its resources replaced and the whole file rewritten; the result is written beside
// OUTPUT and renamed into place only when complete, as `create` does with packages.
#include <cstdio>
#include <deque>

#include "package/name_encoding.h"
#include "resources/identity_rules.h"
#include "resources/stamp_resources.h"
#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/files/file_names.h"
#include "pe/icon_file.h"
#include "tools/filespack/files/package_file.h"
#include "tools/filespack/reading/package_layout.h"
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

std::string IdentityWords(IdentityProblem problem, const Identity& sjis) {
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
            return "--resource-name \"" + sjis.resource_name +
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
    for (char& c : out.resource_name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const IdentityProblem problem = CheckIdentity(
        {out.name, out.description, out.version, out.caption, out.resource_name});
    return IdentityWords(problem, out);
}

bool AsciiCaseEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsMarker(const Resource& r) {
    return r.type == ResourceKey::Named(kIdentityResourceType) &&
           r.name == ResourceKey::Named(kProgramMarkerName);
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

}  // namespace

int RunExe(const ExeOptions& options, ToolIo& io) {
    Identity identity;
    std::string error = ToIdentity(options, identity);
    if (!error.empty()) return Complain(io, EXIT_PROBLEM, error);

    VersionRecord version;
    version.product_version = VersionNumbersIn(options.product_version);
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
    const std::filesystem::path output = PathFromUtf8(options.output);
    const std::string file_version_text =
        options.file_version.empty() ? options.product_version : options.file_version;
    version.strings = {
        {"CompanyName", options.company},
        {"FileDescription", options.description},
        {"FileVersion", file_version_text},
        {"InternalName", options.name},
        {"LegalCopyright", options.copyright},
        {"OriginalFilename", DisplayPath(output.filename())},
        {"ProductName", options.name},
        {"ProductVersion", options.product_version},
    };
    std::vector<uint8_t> version_bytes;
    if (!BuildVersionRecord(version, version_bytes)) {
        return Complain(io, EXIT_PROBLEM, "the version record's texts do not fit one");
    }

    // The program to stamp, which must be ours: another executable would not read the identity.
    const std::filesystem::path stub_path =
        options.stub.empty() ? GenericProgramPath() : PathFromUtf8(options.stub);
    const std::string stub_shown = options.stub.empty() ? DisplayPath(stub_path) : options.stub;
    FileImage stub_file;
    if (!stub_file.Open(stub_path, error)) {
        return Complain(io, EXIT_PROBLEM,
                        "the program to stamp, " + stub_shown + ": " + error +
                            (options.stub.empty() ? " (give one with --stub)" : ""));
    }
    PeImage stub;
    if (!stub.Parse(stub_file.bytes(), error)) {
        return Complain(io, EXIT_PROBLEM, stub_shown + ": " + error);
    }
    const auto stub_resources = stub.Resources(error);
    if (!stub_resources) return Complain(io, EXIT_PROBLEM, stub_shown + ": " + error);
    if (!HasMarker(*stub_resources)) {
        return Complain(io, EXIT_PROBLEM,
                        stub_shown + ": not the filespack program (it carries no " +
                            kIdentityResourceType + " " + kProgramMarkerName + " marker)");
    }

    FileImage icon_file;
    IconResources icon;
    if (!options.icon.empty()) {
        if (!ReadWhole(options.icon, icon_file, error) ||
            !SplitIconFile(icon_file.bytes(), kFirstIconId, icon, error)) {
            return Complain(io, EXIT_PROBLEM, options.icon + ": " + error);
        }
    }

    // The package: a ready one, or the inputs packed into a file of this run's own.
    PackageSource ready;
    PackageFile packed(output);
    FileImage packed_bytes;
    std::span<const uint8_t> package;
    PackSummary summary;
    if (!options.package.empty()) {
        ready = LoadPackage(PathFromUtf8(options.package), "");
        if (!ready.ok) return Complain(io, EXIT_PROBLEM, ready.error);
        package = ready.bytes();
    } else if (!options.no_package) {
        // Packing a large folder takes a while: the same bar as create's, unless -q.
        const int code = PackInto(options, io, packed, summary);
        if (code != EXIT_OK) return code;
        if (!packed.Flush(error) || !packed_bytes.Open(packed.path(), error)) {
            return Complain(io, EXIT_PROBLEM, options.output + ": " + error);
        }
        package = packed_bytes.bytes();
    }
    if (!package.empty()) {
        const LayoutScan scan = ReadPackageLayout(package);
        if (!scan.ok) {
            return Complain(io, EXIT_PROBLEM,
                            (options.package.empty() ? options.output : options.package) + ": " +
                                scan.error);
        }
        bool has_setup = false;
        for (const auto& e : scan.layout.entries) has_setup |= AsciiCaseEqual(e.name, kSetupProgram);
        if (!has_setup) {
            io.err << Prefix(io) << "warning: the package has no Setup.exe; the product can only "
                      "unpack (an install would fail)\n";
        }
        summary.files = scan.layout.entries.size();
        summary.total = scan.layout.total_size;
    }

    std::vector<Resource> resources;
    for (const Resource& r : *stub_resources) {
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
    add(ResourceKey::Number(kTypeVersion), ResourceKey::Number(1), kJapanese, version_bytes);
    for (size_t i = 0; i < icon.images.size(); ++i) {
        add(ResourceKey::Number(kTypeIcon), ResourceKey::Number(uint16_t(kFirstIconId + i)),
            kJapanese, icon.images[i]);
    }
    if (!icon.group.empty()) {
        add(ResourceKey::Number(kTypeGroupIcon), ResourceKey::Number(1), kJapanese, icon.group);
    }

    std::vector<uint8_t> image;
    if (!stub.Rewrite(std::move(resources), image, error)) {
        return Complain(io, EXIT_PROBLEM, stub_shown + ": " + error);
    }
    PackageFile product(output);
    std::FILE* out = product.Create(error);
    if (!out) {
        return Complain(io, EXIT_PROBLEM,
                        options.output + ": cannot create a file beside it to write into: " + error);
    }
    if (std::fwrite(image.data(), 1, image.size(), out) != image.size() || !product.Keep(error)) {
        if (error.empty()) error = "cannot write the file";
        return Complain(io, EXIT_PROBLEM, options.output + ": " + error);
    }
    if (!options.quiet) {
        io.out << "Wrote " << options.output << " (" << FormatBytes(int64_t(image.size()))
               << "): " << stub_shown << " with ";
        if (package.empty()) {
            io.out << "no package\n";
        } else {
            io.out << summary.files << (summary.files == 1 ? " file, " : " files, ")
                   << FormatBytes(summary.total) << ", in resource " << options.resource_name
                   << '\n';
        }
    }
    return EXIT_OK;
}
