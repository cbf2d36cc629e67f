// Loads the package a command works on: a package file, or an executable that carries one as
// a resource of type "FILESPACK".
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

struct PackageSource {
    bool ok = false;
    std::string error;
    std::vector<uint8_t> file;  // the whole file
    size_t offset = 0;          // where the package starts in it
    size_t length = 0;          // the bytes that really lie there
    std::string resource;       // the resource's name, when it came from an executable

    std::span<const uint8_t> bytes() const { return {file.data() + offset, length}; }
};

inline constexpr const char* kPackageResourceType = "FILESPACK";

// `resource_name` empty: the executable's only resource of the type (several are an error).
PackageSource LoadPackage(const std::filesystem::path& path, const std::string& resource_name);
