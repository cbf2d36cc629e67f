// Finds resources of a named type in a Windows executable (PE32 or PE32+) held in memory, read
// by `PeImage` as `exe` reads the program it stamps.
// Every offset read from the file is checked against the file: the input may be hostile.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct PeResource {
    std::string name;     // the resource's name in UTF-8, or "#N" for a numbered one
    uint64_t offset = 0;  // where its bytes start in the file
    uint32_t size = 0;
};

struct PeResourceScan {
    bool ok = false;
    std::string error;                  // why the file could not be read as an executable
    std::vector<PeResource> resources;  // of the asked type, first language of each name
};

// True when the bytes start like an executable ("MZ"), whether or not the rest holds up.
bool LooksLikeExecutable(std::span<const uint8_t> image);

// Resource type names compare as Windows compares them: ASCII letters without regard to case.
PeResourceScan FindPeResources(std::span<const uint8_t> image, std::string_view type_name);

// Whether `wanted` (a name, or "#N" for a number) names `resource`, as FindResource would match.
bool ResourceNameMatches(const PeResource& resource, std::string_view wanted);
