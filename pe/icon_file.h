// An .ico file split into what an executable carries: one icon resource (type 3) per image and
// a group (type 14) that lists them, as the resource compiler writes them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct IconResources {
    std::vector<std::span<const uint8_t>> images;  // within the .ico's bytes; ids 1, 2, ...
    std::vector<uint8_t> group;
};

// False with `error` set when the bytes are not an icon file.
bool SplitIconFile(std::span<const uint8_t> ico, uint16_t first_id, IconResources& out,
                   std::string& error);
