// An .ico file split into what an executable carries: one icon resource (type 3) per image and
// a group (type 14) that lists them, as the resource compiler writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct IconResources {
    std::vector<std::span<const uint8_t>> images;  // within the .ico's bytes; ids 1, 2, ...
    std::vector<uint8_t> group;
};

// An icon needs a handful of images of some KiB each; an .ico past these is no icon a product
// should carry (its entries may all name the same bytes, which would otherwise be stored anew
// for each).
inline constexpr size_t kMaxIconImages = 64;
inline constexpr size_t kMaxIconBytes = 4 << 20;

// False with `error` set when the bytes are not an icon file, or one past the limits above.
// Entries that name the same bytes share one image.
bool SplitIconFile(std::span<const uint8_t> ico, uint16_t first_id, IconResources& out,
                   std::string& error);
