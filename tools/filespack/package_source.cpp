#include "tools/filespack/package_source.h"

#include <cstdio>

#include "tools/filespack/file_names.h"
#include "tools/filespack/pe_resources.h"

namespace {

PackageSource Fail(std::string why) {
    PackageSource source;
    source.error = std::move(why);
    return source;
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                   std::string& error) {
    std::FILE* file = OpenFile(path, "rb");
    if (!file) {
        error = "cannot open the file";
        return false;
    }
    // Growing by doubling would copy the package over and over and could hold twice its size.
    std::error_code size_error;
    const auto size = std::filesystem::file_size(path, size_error);
    if (!size_error && size <= SIZE_MAX) bytes.reserve(static_cast<size_t>(size));
    uint8_t buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) error = "cannot read the file";
    return !failed;
}

}  // namespace

PackageSource LoadPackage(const std::filesystem::path& path, const std::string& resource_name) {
    const std::string shown = PathToUtf8(path);
    PackageSource source;
    std::string why;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return Fail(shown + ": is a folder");
    if (!ReadWholeFile(path, source.file, why)) return Fail(shown + ": " + why);
    if (!LooksLikeExecutable(source.file)) {
        if (!resource_name.empty()) {
            return Fail(shown + ": --resource was given, but this is not an executable");
        }
        source.length = source.file.size();
        source.ok = true;
        return source;
    }
    const PeResourceScan scan = FindPeResources(source.file, kPackageResourceType);
    if (!scan.ok) return Fail(shown + ": damaged executable: " + scan.error);
    const PeResource* chosen = nullptr;
    if (resource_name.empty()) {
        if (scan.resources.size() > 1) {
            std::string names;
            for (const auto& r : scan.resources) names += (names.empty() ? "" : ", ") + r.name;
            return Fail(shown + ": holds several packages (" + names +
                        "); choose one with --resource");
        }
        if (!scan.resources.empty()) chosen = &scan.resources.front();
    } else {
        for (const auto& r : scan.resources) {
            if (ResourceNameMatches(r, resource_name)) {
                chosen = &r;
                break;
            }
        }
    }
    if (!chosen) {
        return Fail(shown + ": the executable carries no " + kPackageResourceType + " resource" +
                    (resource_name.empty() ? "" : " named " + resource_name));
    }
    source.offset = static_cast<size_t>(chosen->offset);
    source.length = chosen->size;
    source.resource = chosen->name;
    source.ok = true;
    return source;
}
