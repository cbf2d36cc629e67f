#include "pe/pe_image.h"

#include <algorithm>
#include <string>

#include "package/little_endian.h"
#include "pe/pe_format.h"

namespace {

// Windows maps a program whole below 2 GiB of address space, where the system's own libraries
// also lie (from about 1.8 GiB up): a larger image is written fine and then never starts. Under
// Wine a 1.8 GiB image started and a 2 GiB one did not; this leaves room on every system.
constexpr uint64_t kLargestMappableImage = 0x70000000;  // 1792 MiB

bool TooLargeToMap(uint64_t size, std::string& error) {
    error = "the product would take " + std::to_string(size >> 20) +
            " MiB in memory, more than Windows maps for a program (at most " +
            std::to_string(kLargestMappableImage >> 20) +
            " MiB); ship fewer or smaller files, or several products";
    return false;
}

constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kDiscardable = 0x02000000;
constexpr uint64_t kChecksumField = 64;
constexpr uint64_t kSymbolSize = 18;

uint32_t Load16(std::span<const uint8_t> file, uint64_t at) {
    const uint8_t* p = file.data() + at;
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

void Store32(std::vector<uint8_t>& out, uint64_t at, uint32_t value) {
    uint8_t* p = out.data() + at;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

uint64_t SpanOf(const PeSection& s) {
    return std::max(s.virtual_size, s.raw_size);
}

}  // namespace

bool PeImage::Parse(std::span<const uint8_t> file, std::string& error) {
    file_ = file;
    auto has = [&](uint64_t at, uint64_t count) {
        return at <= file.size() && count <= file.size() - at;
    };
    if (!has(0, 0x40) || file[0] != 'M' || file[1] != 'Z') {
        error = "not a Windows executable (no MZ header)";
        return false;
    }
    const uint64_t pe = LoadU32(file.data() + 0x3C);
    if (!has(pe, 24) || LoadU32(file.data() + pe) != 0x00004550u) {
        error = "not a Windows executable (no PE header)";
        return false;
    }
    const uint64_t coff = pe + 4;
    const uint32_t section_count = Load16(file, coff + 2);
    const uint32_t optional_size = Load16(file, coff + 16);
    optional_ = coff + 20;
    if (!has(optional_, optional_size) || optional_size < 2) {
        error = "truncated PE header";
        return false;
    }
    const uint32_t magic = Load16(file, optional_);
    uint64_t count_field = 0;
    if (magic == kPe32Magic) {
        count_field = 92;
    } else if (magic == kPe32PlusMagic) {
        count_field = 108;
    } else {
        error = "unknown optional header kind";
        return false;
    }
    pe32_plus_ = magic == kPe32PlusMagic;
    if (count_field + 4 > optional_size) {
        error = "truncated optional header";
        return false;
    }
    section_alignment_ = LoadU32(file.data() + optional_ + 32);
    file_alignment_ = LoadU32(file.data() + optional_ + 36);
    const auto power_of_two = [](uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    if (!power_of_two(section_alignment_) || !power_of_two(file_alignment_)) {
        error = "bad section or file alignment";
        return false;
    }
    directory_count_ = LoadU32(file.data() + optional_ + count_field);
    directories_ = optional_ + count_field + 4;
    if (directory_count_ > 16 || count_field + 4 + uint64_t{directory_count_} * 8 > optional_size) {
        error = "truncated data directories";
        return false;
    }
    if (directory_count_ > kResourceDirectory) {
        resource_rva_ = LoadU32(file.data() + directories_ + kResourceDirectory * 8);
        resource_size_ = LoadU32(file.data() + directories_ + kResourceDirectory * 8 + 4);
    }
    if (directory_count_ > kCertificateDirectory) {
        certificate_size_ = LoadU32(file.data() + directories_ + kCertificateDirectory * 8 + 4);
    }
    section_table_ = optional_ + optional_size;
    if (!has(section_table_, uint64_t{section_count} * kSectionHeaderSize)) {
        error = "truncated section table";
        return false;
    }
    symbols_ = 0;
    symbols_size_ = 0;
    const uint64_t symbols = LoadU32(file.data() + coff + 8);
    const uint64_t symbol_bytes = uint64_t{LoadU32(file.data() + coff + 12)} * kSymbolSize;
    // A table the file does not hold whole is left behind, as a stripped build would have it.
    if (symbols != 0 && has(symbols, symbol_bytes + 4)) {
        const uint64_t strings = LoadU32(file.data() + symbols + symbol_bytes);
        if (strings >= 4 && has(symbols + symbol_bytes, strings)) {
            symbols_ = symbols;
            symbols_size_ = symbol_bytes + strings;
        }
    }
    sections_.clear();
    for (uint32_t i = 0; i < section_count; ++i) {
        const uint8_t* h = file.data() + section_table_ + i * kSectionHeaderSize;
        PeSection s;
        s.virtual_size = LoadU32(h + 8);
        s.virtual_address = LoadU32(h + 12);
        s.raw_size = LoadU32(h + 16);
        s.raw_offset = LoadU32(h + 20);
        s.characteristics = LoadU32(h + 36);
        if (s.raw_size != 0 && !has(s.raw_offset, s.raw_size)) {
            error = "a section lies outside the file";
            return false;
        }
        sections_.push_back(s);
    }
    return true;
}

std::optional<uint64_t> PeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
    for (const PeSection& s : sections_) {
        if (rva < s.virtual_address || rva - s.virtual_address >= SpanOf(s)) continue;
        const uint64_t within = rva - s.virtual_address;
        if (within + size > s.raw_size) return std::nullopt;
        return uint64_t{s.raw_offset} + within;
    }
    return std::nullopt;
}

std::optional<std::vector<Resource>> PeImage::Resources(std::string& error) const {
    if (resource_rva_ == 0 || resource_size_ == 0) return std::vector<Resource>{};
    const auto base = RvaToOffset(resource_rva_, 16);
    if (!base) {
        error = "the resource directory lies outside the file";
        return std::nullopt;
    }
    uint64_t limit = file_.size();
    for (const PeSection& s : sections_) {
        if (*base >= s.raw_offset && *base < uint64_t{s.raw_offset} + s.raw_size) {
            limit = uint64_t{s.raw_offset} + s.raw_size;
        }
    }
    auto resources = ReadResourceTree(file_, *base, limit, [this](uint32_t rva, uint32_t size) {
        return RvaToOffset(rva, size);
    });
    if (!resources) error = "damaged resource directory";
    return resources;
}

// The section that holds the resource directory, which must start it, as a linker lays it out.
bool PeImage::ResourceSection(size_t& index, std::string& error) const {
    index = sections_.size();
    for (size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if (resource_rva_ >= s.virtual_address && resource_rva_ - s.virtual_address < SpanOf(s)) {
            index = i;
        }
    }
    if (resource_rva_ == 0 || index == sections_.size()) {
        error = "the program has no resource section to rebuild";
        return false;
    }
    const PeSection& old = sections_[index];
    if (old.raw_size == 0 || resource_rva_ != old.virtual_address) {
        error = "the resource section is not laid out as a linker writes it";
        return false;
    }
    return true;
}

// Where the last section's bytes end in the file.
uint64_t PeImage::SectionsEnd() const {
    uint64_t end = 0;
    for (const PeSection& s : sections_) {
        if (s.raw_size != 0) end = std::max(end, uint64_t{s.raw_offset} + s.raw_size);
    }
    return end;
}

// Whether the resource section at `index` may change its size: the headers stay where they are
// and only what lies behind it moves.
bool PeImage::MayResize(size_t index, std::string& error) const {
    // The headers are written back at their offsets: into the bytes of a section they would
    // overwrite it, or land past the end of the new file.
    const uint64_t headers_end = section_table_ + sections_.size() * kSectionHeaderSize;
    for (const PeSection& s : sections_) {
        if (s.raw_size != 0 && s.raw_offset < headers_end) {
            error = "its headers do not end before its first section";
            return false;
        }
    }
    // Only sections that nothing addresses from code may move: those the loader discards
    // after use (relocations), which data directories alone point at.
    const PeSection& old = sections_[index];
    for (size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if (i < index) {
            if (uint64_t{s.virtual_address} + SpanOf(s) > old.virtual_address ||
                (s.raw_size != 0 && uint64_t{s.raw_offset} + s.raw_size > old.raw_offset)) {
                error = "a section lies behind the resource section but before it in the table";
                return false;
            }
        } else if (i > index) {
            if ((s.characteristics & kDiscardable) == 0 || s.virtual_address < old.virtual_address ||
                (s.raw_size != 0 && s.raw_offset < old.raw_offset)) {
                error = "a section behind the resources holds more than relocations";
                return false;
            }
        }
    }
    return true;
}

// The sections as they lie once the resource section at `index` holds `section_size` bytes;
// `image_end` becomes the image's new size in memory.
bool PeImage::Relaid(size_t index, size_t section_size, std::vector<PeSection>& moved,
                     uint64_t& image_end, std::string& error) const {
    moved = sections_;
    PeSection& rsrc = moved[index];
    rsrc.virtual_size = static_cast<uint32_t>(section_size);
    const uint64_t rsrc_raw = AlignUp(section_size, file_alignment_);
    if (uint64_t{rsrc.raw_offset} + rsrc_raw > 0xFFFFFFFFu - 0x10000000u) {
        error = "the executable would exceed 4 GiB";
        return false;
    }
    rsrc.raw_size = static_cast<uint32_t>(rsrc_raw);
    uint64_t next_address =
        AlignUp(uint64_t{rsrc.virtual_address} + rsrc.virtual_size, section_alignment_);
    uint64_t next_raw = uint64_t{rsrc.raw_offset} + rsrc.raw_size;
    for (size_t i = index + 1; i < moved.size(); ++i) {
        moved[i].virtual_address = static_cast<uint32_t>(next_address);
        if (moved[i].raw_size != 0) {
            moved[i].raw_offset = static_cast<uint32_t>(next_raw);
            next_raw += moved[i].raw_size;
        }
        next_address = AlignUp(next_address + SpanOf(moved[i]), section_alignment_);
    }
    image_end = next_address;
    if (image_end > kLargestMappableImage) return TooLargeToMap(image_end, error);
    return true;
}

// The section headers and data directories, pointed at where the sections now lie; the
// certificate is dropped, since the new bytes would no longer match it.
void PeImage::WriteHeaders(size_t index, const std::vector<PeSection>& moved, size_t section_size,
                           std::vector<uint8_t>& out) const {
    for (size_t i = 0; i < moved.size(); ++i) {
        const uint64_t h = section_table_ + i * kSectionHeaderSize;
        Store32(out, h + 8, moved[i].virtual_size);
        Store32(out, h + 12, moved[i].virtual_address);
        Store32(out, h + 16, moved[i].raw_size);
        Store32(out, h + 20, moved[i].raw_offset);
    }
    for (uint32_t d = 0; d < directory_count_; ++d) {
        const uint64_t at = directories_ + d * 8;
        const uint32_t rva = LoadU32(out.data() + at);
        if (d == kCertificateDirectory) {
            Store32(out, at, 0);
            Store32(out, at + 4, 0);
            continue;
        }
        if (d == kResourceDirectory) {
            Store32(out, at + 4, static_cast<uint32_t>(section_size));
            continue;
        }
        for (size_t i = index + 1; i < moved.size(); ++i) {
            const PeSection& s = sections_[i];
            if (rva >= s.virtual_address && rva - s.virtual_address < SpanOf(s)) {
                Store32(out, at, rva - s.virtual_address + moved[i].virtual_address);
            }
        }
    }
}

// The symbol and string tables follow the sections, as a linker places them; tables inside a
// section's bytes are not something to carry.
void PeImage::CarrySymbols(std::vector<uint8_t>& out) const {
    const uint64_t coff = optional_ - 20;
    if (symbols_ != 0 && symbols_ >= SectionsEnd()) {
        Store32(out, coff + 8, static_cast<uint32_t>(out.size()));
        const auto from = file_.begin() + static_cast<ptrdiff_t>(symbols_);
        out.insert(out.end(), from, from + static_cast<ptrdiff_t>(symbols_size_));
    } else {
        Store32(out, coff + 8, 0);
        Store32(out, coff + 12, 0);
    }
}

bool PeImage::Rewrite(std::vector<Resource> resources, std::vector<uint8_t>& out,
                      std::string& error) const {
    size_t index = 0;
    if (!ResourceSection(index, error) || !MayResize(index, error)) return false;
    const PeSection& old = sections_[index];
    // The section holds at least the resources' bytes: a product that surely cannot be mapped is
    // refused before any of a large package is copied.
    uint64_t least = old.virtual_address;
    for (const Resource& r : resources) least += r.bytes.size();
    if (least > kLargestMappableImage) return TooLargeToMap(least, error);

    // Room for everything at once: growing a vector the size of a large package would hold two
    // copies of it for a moment.
    size_t room = file_.size() + 0x10000;
    for (const Resource& r : resources) room += r.bytes.size() + 64;
    out.clear();
    out.reserve(room);
    out.assign(file_.begin(), file_.begin() + old.raw_offset);
    const size_t section_size =
        AppendResourceSection(std::move(resources), old.virtual_address, out);
    std::vector<PeSection> moved;
    uint64_t image_end = 0;
    if (!Relaid(index, section_size, moved, image_end, error)) return false;

    out.resize(uint64_t{moved[index].raw_offset} + moved[index].raw_size, 0);
    for (size_t i = index + 1; i < moved.size(); ++i) {
        if (sections_[i].raw_size == 0) continue;
        const auto from = file_.begin() + sections_[i].raw_offset;
        out.insert(out.end(), from, from + sections_[i].raw_size);
    }
    WriteHeaders(index, moved, section_size, out);
    CarrySymbols(out);

    const uint32_t initialized = LoadU32(out.data() + optional_ + 8);
    Store32(out, optional_ + 8,
            static_cast<uint32_t>(initialized - old.raw_size + moved[index].raw_size));
    Store32(out, optional_ + 56, static_cast<uint32_t>(image_end));
    Store32(out, optional_ + kChecksumField, 0);
    Store32(out, optional_ + kChecksumField, PeChecksum(out, optional_ + kChecksumField));
    return true;
}

uint32_t PeChecksum(std::span<const uint8_t> image, uint64_t checksum_offset) {
    uint64_t sum = 0;
    const size_t size = image.size();
    for (size_t i = 0; i < size; i += 2) {
        if (i >= checksum_offset && i < checksum_offset + 4) continue;
        const uint32_t word = image[i] | (i + 1 < size ? image[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}
