#include "pe/pe_resources.h"

#include <algorithm>
#include <optional>

#include "package/ascii_case.h"
#include "package/utf8_text.h"
#include "pe/pe_format.h"

namespace {

// Little-endian reads that fail instead of running past the end.
class ByteView {
  public:
    explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool Has(uint64_t offset, uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::optional<uint16_t> U16(uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        const uint8_t* p = bytes_.data() + offset;
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    std::optional<uint32_t> U32(uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        const uint8_t* p = bytes_.data() + offset;
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    uint64_t size() const { return bytes_.size(); }

  private:
    std::span<const uint8_t> bytes_;
};

struct Section {
    uint32_t virtual_address;
    uint32_t virtual_size;
    uint32_t raw_size;
    uint32_t raw_offset;
};

// Maps an address in the loaded image to a file offset with `count` bytes stored behind it.
std::optional<uint64_t> RvaToOffset(const std::vector<Section>& sections, uint32_t rva,
                                    uint64_t count, uint64_t file_size) {
    for (const Section& s : sections) {
        const uint64_t span = std::max(s.virtual_size, s.raw_size);
        if (rva < s.virtual_address || rva - s.virtual_address >= span) continue;
        const uint64_t within = rva - s.virtual_address;
        if (within + count > s.raw_size) return std::nullopt;
        const uint64_t offset = uint64_t{s.raw_offset} + within;
        if (offset + count > file_size) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

// The resource tree: three levels of directories (type, name, language), then data entries.
class ResourceTree {
  public:
    ResourceTree(const ByteView& file, uint64_t base, uint64_t limit)
        : file_(file), base_(base), limit_(limit) {}

    struct Entry {
        bool named;
        std::string name;  // UTF-8, when named
        uint32_t id;       // when numbered
        bool is_directory;
        uint32_t target;  // offset from the tree's base
    };

    // The entries of the directory at `offset`, or nothing when it does not fit.
    std::optional<std::vector<Entry>> Directory(uint32_t offset) const {
        const auto named = U16(uint64_t{offset} + 12);
        const auto numbered = U16(uint64_t{offset} + 14);
        if (!named || !numbered) return std::nullopt;
        const uint32_t count = uint32_t{*named} + *numbered;
        std::vector<Entry> entries;
        entries.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t at = uint64_t{offset} + 16 + uint64_t{i} * 8;
            const auto name_field = U32(at);
            const auto data_field = U32(at + 4);
            if (!name_field || !data_field) return std::nullopt;
            Entry e{};
            e.named = (*name_field & kHighBit) != 0;
            e.is_directory = (*data_field & kHighBit) != 0;
            e.target = *data_field & ~kHighBit;
            if (e.named) {
                auto text = NameAt(*name_field & ~kHighBit);
                if (!text) return std::nullopt;
                e.name = std::move(*text);
            } else {
                e.id = *name_field & 0xFFFF;
            }
            entries.push_back(std::move(e));
        }
        return entries;
    }

    // A data entry: the resource's address in the image and its size.
    std::optional<std::pair<uint32_t, uint32_t>> Data(uint32_t offset) const {
        const auto rva = U32(offset);
        const auto size = U32(uint64_t{offset} + 4);
        if (!rva || !size) return std::nullopt;
        return std::make_pair(*rva, *size);
    }

  private:
    bool Fits(uint64_t offset, uint64_t count) const {
        return offset <= limit_ - base_ && count <= limit_ - base_ - offset;
    }
    std::optional<uint16_t> U16(uint64_t offset) const {
        if (!Fits(offset, 2)) return std::nullopt;
        return file_.U16(base_ + offset);
    }
    std::optional<uint32_t> U32(uint64_t offset) const {
        if (!Fits(offset, 4)) return std::nullopt;
        return file_.U32(base_ + offset);
    }

    // A counted UTF-16 string; unpaired surrogates become U+FFFD.
    std::optional<std::string> NameAt(uint32_t offset) const {
        const auto length = U16(offset);
        if (!length || !Fits(uint64_t{offset} + 2, uint64_t{*length} * 2)) return std::nullopt;
        std::string out;
        for (uint32_t i = 0; i < *length; ++i) {
            const uint32_t unit = *U16(uint64_t{offset} + 2 + uint64_t{i} * 2);
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < *length) {
                const uint32_t low = *U16(uint64_t{offset} + 4 + uint64_t{i} * 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    AppendUtf8(out, static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
                    ++i;
                    continue;
                }
            }
            AppendUtf8(out, static_cast<char32_t>((unit >= 0xD800 && unit < 0xE000) ? 0xFFFD : unit));
        }
        return out;
    }

    const ByteView& file_;
    uint64_t base_;
    uint64_t limit_;
};

PeResourceScan Fail(std::string why) {
    PeResourceScan scan;
    scan.error = std::move(why);
    return scan;
}

}  // namespace

bool LooksLikeExecutable(std::span<const uint8_t> image) {
    return image.size() >= 2 && image[0] == 'M' && image[1] == 'Z';
}

PeResourceScan FindPeResources(std::span<const uint8_t> image, std::string_view type_name) {
    const ByteView file(image);
    if (!LooksLikeExecutable(image)) return Fail("not an executable (no MZ header)");
    const auto pe_offset = file.U32(0x3C);
    if (!pe_offset) return Fail("truncated DOS header");
    const auto signature = file.U32(*pe_offset);
    if (!signature || *signature != 0x00004550u) return Fail("no PE header");
    const uint64_t coff = uint64_t{*pe_offset} + 4;
    const auto section_count = file.U16(coff + 2);
    const auto optional_size = file.U16(coff + 16);
    if (!section_count || !optional_size) return Fail("truncated PE header");
    const uint64_t optional = coff + 20;
    const auto magic = file.U16(optional);
    if (!magic) return Fail("truncated optional header");
    uint64_t count_field = 0;
    if (*magic == kPe32Magic) {
        count_field = 92;
    } else if (*magic == kPe32PlusMagic) {
        count_field = 108;
    } else {
        return Fail("unknown optional header kind");
    }
    const auto directory_count = file.U32(optional + count_field);
    if (!directory_count || count_field + 4 > *optional_size) {
        return Fail("truncated optional header");
    }
    const uint64_t directories_end = count_field + 4 + uint64_t{*directory_count} * 8;
    if (*directory_count <= kResourceDirectory || directories_end > *optional_size) {
        PeResourceScan none;
        none.ok = true;  // an executable without resources
        return none;
    }
    const uint64_t resource_entry = optional + count_field + 4 + kResourceDirectory * 8;
    const auto resource_rva = file.U32(resource_entry);
    const auto resource_size = file.U32(resource_entry + 4);
    if (!resource_rva || !resource_size) return Fail("truncated data directories");

    std::vector<Section> sections;
    const uint64_t table = optional + *optional_size;
    for (uint32_t i = 0; i < *section_count; ++i) {
        const uint64_t at = table + uint64_t{i} * kSectionHeaderSize;
        const auto vsize = file.U32(at + 8);
        const auto vaddr = file.U32(at + 12);
        const auto rsize = file.U32(at + 16);
        const auto roffset = file.U32(at + 20);
        if (!vsize || !vaddr || !rsize || !roffset) return Fail("truncated section table");
        sections.push_back({*vaddr, *vsize, *rsize, *roffset});
    }

    PeResourceScan scan;
    if (*resource_rva == 0 || *resource_size == 0) {
        scan.ok = true;
        return scan;
    }
    const auto base = RvaToOffset(sections, *resource_rva, 16, file.size());
    if (!base) return Fail("the resource directory lies outside the file");
    // Resource entries may point anywhere in the section that holds the directory.
    uint64_t limit = file.size();
    for (const Section& s : sections) {
        if (*base >= s.raw_offset && *base < uint64_t{s.raw_offset} + s.raw_size) {
            limit = std::min<uint64_t>(limit, uint64_t{s.raw_offset} + s.raw_size);
        }
    }
    const ResourceTree tree(file, *base, limit);
    const auto types = tree.Directory(0);
    if (!types) return Fail("damaged resource directory");
    for (const auto& type : *types) {
        if (!type.named || !type.is_directory || !EqualsIgnoringAsciiCase(type.name, type_name)) {
            continue;
        }
        const auto names = tree.Directory(type.target);
        if (!names) return Fail("damaged resource directory");
        for (const auto& name : *names) {
            if (!name.is_directory) continue;
            const auto languages = tree.Directory(name.target);
            if (!languages) return Fail("damaged resource directory");
            if (languages->empty() || languages->front().is_directory) continue;
            const auto data = tree.Data(languages->front().target);
            if (!data) return Fail("damaged resource directory");
            const auto offset = RvaToOffset(sections, data->first, data->second, file.size());
            if (!offset) return Fail("a resource's bytes lie outside the file");
            PeResource found;
            found.name = name.named ? name.name : "#" + std::to_string(name.id);
            found.offset = *offset;
            found.size = data->second;
            scan.resources.push_back(std::move(found));
        }
    }
    scan.ok = true;
    return scan;
}

bool ResourceNameMatches(const PeResource& resource, std::string_view wanted) {
    if (EqualsIgnoringAsciiCase(resource.name, wanted)) return true;
    // A bare number names a numbered resource too, as "#N" does.
    if (!wanted.empty() && resource.name.starts_with('#') &&
        std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::string_view digits = wanted;
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        return resource.name.substr(1) == digits;
    }
    return false;
}
