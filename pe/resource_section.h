// A Windows executable's resources as a flat list, and the section that holds them, built
// afresh: directories sorted as the loader's binary search needs, named before numbered, no
// time stamps, so that the same resources always give the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A resource type, name or language: a number, or a name (UTF-16, as the file stores it).
struct ResourceKey {
    std::u16string name;  // empty for a number
    uint16_t id = 0;

    static ResourceKey Number(uint16_t id) { return {u"", id}; }
    // ASCII letters are upper-cased, as the resource compiler does and FindResource expects.
    static ResourceKey Named(std::string_view ascii);

    bool named() const { return !name.empty(); }
    bool operator==(const ResourceKey&) const = default;
    // Named keys first, by code unit; then numbers.
    bool operator<(const ResourceKey& other) const;
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t code_page = 0;
    std::span<const uint8_t> bytes;  // owned by the caller, alive until the section is built
};

// Well-known numbered types.
inline constexpr uint16_t kTypeIcon = 3;
inline constexpr uint16_t kTypeGroupIcon = 14;
inline constexpr uint16_t kTypeVersion = 16;
inline constexpr uint16_t kTypeManifest = 24;

// Appends the section's bytes for `resources` placed at `section_rva` in the image to `out`;
// returns their count. Written in place: a package of hundreds of megabytes is copied once.
size_t AppendResourceSection(std::vector<Resource> resources, uint32_t section_rva,
                             std::vector<uint8_t>& out);

// Maps an image address and a byte count to the file offset where they lie, if they do.
using RvaMapper = std::function<std::optional<uint64_t>(uint32_t rva, uint32_t size)>;

// Every resource of the tree whose root lies at file offset `base`, its directories within
// [base, limit); nothing when the tree is damaged. The input may be hostile: every offset is
// checked, and a directory may not be entered twice.
std::optional<std::vector<Resource>> ReadResourceTree(std::span<const uint8_t> file, uint64_t base,
                                                      uint64_t limit, const RvaMapper& to_offset);
