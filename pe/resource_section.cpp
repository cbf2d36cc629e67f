#include "pe/resource_section.h"

#include <algorithm>
#include <map>
#include <set>

#include "package/ascii_case.h"
#include "package/little_endian.h"
#include "pe/pe_format.h"

namespace {

constexpr size_t kDirectorySize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr size_t kDataAlignment = 8;

size_t AlignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// type -> name -> language -> index into the resources.
using Tree = std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, size_t>>>;

template <typename Map>
size_t DirectoryBytes(const Map& map) {
    return kDirectorySize + map.size() * kEntrySize;
}

class SectionWriter {
  public:
    SectionWriter(const std::vector<Resource>& resources, uint32_t rva, std::vector<uint8_t>& out)
        : resources_(resources), rva_(rva), out_(out), base_(out.size()) {}

    // Appends the section to the output; returns its size.
    size_t Build(const Tree& tree) {
        // Directories first, level by level, then names, data entries and data.
        size_t directories = DirectoryBytes(tree);
        for (const auto& [type, names] : tree) {
            directories += DirectoryBytes(names);
            for (const auto& [name, languages] : names) directories += DirectoryBytes(languages);
        }
        size_t strings = 0;
        std::set<std::u16string> distinct;
        for (const auto& [type, names] : tree) {
            if (type.named()) distinct.insert(type.name);
            for (const auto& [name, languages] : names) {
                if (name.named()) distinct.insert(name.name);
            }
        }
        for (const auto& text : distinct) strings += 2 + text.size() * 2;
        const size_t data_entries = AlignUp(directories + strings, 4);
        size_t data = AlignUp(data_entries + resources_.size() * kDataEntrySize, kDataAlignment);
        size_t end = data;
        for (const auto& r : resources_) end = AlignUp(end + r.bytes.size(), kDataAlignment);
        out_.resize(base_ + end, 0);

        size_t string_at = directories;
        for (const auto& text : distinct) {
            string_offsets_[text] = string_at;
            Put16(out_, base_ + string_at, static_cast<uint32_t>(text.size()));
            for (size_t i = 0; i < text.size(); ++i) {
                Put16(out_, base_ + string_at + 2 + i * 2, text[i]);
            }
            string_at += 2 + text.size() * 2;
        }
        next_directory_ = 0;
        next_data_entry_ = data_entries;
        next_data_ = data;
        WriteTypes(tree);
        return end;
    }

  private:
    // Reserves a directory for `count_named` + `count_numbered` entries; returns its offset.
    size_t Directory(size_t named, size_t numbered) {
        const size_t at = next_directory_;
        Put16(out_, base_ + at + 12, static_cast<uint32_t>(named));
        Put16(out_, base_ + at + 14, static_cast<uint32_t>(numbered));
        next_directory_ += kDirectorySize + (named + numbered) * kEntrySize;
        return at;
    }

    void Entry(size_t directory, size_t index, const ResourceKey& key, uint32_t target) {
        const size_t at = directory + kDirectorySize + index * kEntrySize;
        const uint32_t name =
            key.named() ? kHighBit | static_cast<uint32_t>(string_offsets_.at(key.name)) : key.id;
        Put32(out_, base_ + at, name);
        Put32(out_, base_ + at + 4, target);
    }

    template <typename Map>
    static std::pair<size_t, size_t> Counts(const Map& map) {
        size_t named = 0;
        for (const auto& [key, value] : map) named += key.named() ? 1 : 0;
        return {named, map.size() - named};
    }

    void WriteTypes(const Tree& tree) {
        // Breadth first: every directory of a level before the next level's.
        const auto [named, numbered] = Counts(tree);
        const size_t root = Directory(named, numbered);
        std::vector<std::pair<size_t, const std::map<ResourceKey, std::map<uint16_t, size_t>>*>>
            name_dirs;
        size_t i = 0;
        for (const auto& [type, names] : tree) {
            const auto [n, m] = Counts(names);
            const size_t at = Directory(n, m);
            Entry(root, i++, type, kHighBit | static_cast<uint32_t>(at));
            name_dirs.emplace_back(at, &names);
        }
        std::vector<std::pair<size_t, const std::map<uint16_t, size_t>*>> language_dirs;
        for (const auto& [at, names] : name_dirs) {
            size_t j = 0;
            for (const auto& [name, languages] : *names) {
                const size_t dir = Directory(0, languages.size());
                Entry(at, j++, name, kHighBit | static_cast<uint32_t>(dir));
                language_dirs.emplace_back(dir, &languages);
            }
        }
        for (const auto& [at, languages] : language_dirs) {
            size_t k = 0;
            for (const auto& [language, index] : *languages) {
                const Resource& r = resources_[index];
                const size_t entry = next_data_entry_;
                next_data_entry_ += kDataEntrySize;
                Put32(out_, base_ + entry, rva_ + static_cast<uint32_t>(next_data_));
                Put32(out_, base_ + entry + 4, static_cast<uint32_t>(r.bytes.size()));
                Put32(out_, base_ + entry + 8, r.code_page);
                std::copy(r.bytes.begin(), r.bytes.end(),
                          out_.begin() + static_cast<ptrdiff_t>(base_ + next_data_));
                next_data_ = AlignUp(next_data_ + r.bytes.size(), kDataAlignment);
                Entry(at, k++, ResourceKey::Number(language), static_cast<uint32_t>(entry));
            }
        }
    }

    const std::vector<Resource>& resources_;
    uint32_t rva_;
    std::vector<uint8_t>& out_;
    size_t base_;
    std::map<std::u16string, size_t> string_offsets_;
    size_t next_directory_ = 0;
    size_t next_data_entry_ = 0;
    size_t next_data_ = 0;
};

class TreeReader {
  public:
    TreeReader(std::span<const uint8_t> file, uint64_t base, uint64_t limit,
               const RvaMapper& to_offset)
        : file_(file), base_(base), limit_(std::min<uint64_t>(limit, file.size())),
          to_offset_(to_offset) {}

    bool Read(std::vector<Resource>& out) {
        return Level(0, 0, {}, {}, out);
    }

  private:
    bool Fits(uint64_t offset, uint64_t count) const {
        return base_ <= limit_ && offset <= limit_ - base_ && count <= limit_ - base_ - offset;
    }
    uint32_t U16(uint64_t offset) const {
        const uint8_t* p = file_.data() + base_ + offset;
        return static_cast<uint32_t>(p[0] | (p[1] << 8));
    }
    uint32_t U32(uint64_t offset) const { return LoadU32(file_.data() + base_ + offset); }

    bool Key(uint32_t field, ResourceKey& key) const {
        if ((field & kHighBit) == 0) {
            key = ResourceKey::Number(static_cast<uint16_t>(field));
            return true;
        }
        const uint64_t at = field & ~kHighBit;
        if (!Fits(at, 2)) return false;
        const uint32_t length = U16(at);
        if (length == 0 || !Fits(at + 2, uint64_t{length} * 2)) return false;
        key.id = 0;
        key.name.clear();
        for (uint32_t i = 0; i < length; ++i) {
            key.name.push_back(static_cast<char16_t>(U16(at + 2 + i * 2)));
        }
        return true;
    }

    bool Level(uint32_t offset, int depth, const ResourceKey& type, const ResourceKey& name,
               std::vector<Resource>& out) {
        if (!visited_.insert(offset).second) return false;  // a loop
        if (!Fits(offset, kDirectorySize)) return false;
        const uint64_t count = uint64_t{U16(uint64_t{offset} + 12)} + U16(uint64_t{offset} + 14);
        if (!Fits(offset, kDirectorySize + count * kEntrySize)) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t at = offset + kDirectorySize + i * kEntrySize;
            ResourceKey key;
            if (!Key(U32(at), key)) return false;
            const uint32_t target = U32(at + 4);
            const bool directory = (target & kHighBit) != 0;
            if (directory != (depth < 2)) return false;
            const uint32_t child = target & ~kHighBit;
            if (depth == 0 && !Level(child, 1, key, {}, out)) return false;
            if (depth == 1 && !Level(child, 2, type, key, out)) return false;
            if (depth == 2 && !Data(child, type, name, key, out)) return false;
        }
        return true;
    }

    bool Data(uint32_t offset, const ResourceKey& type, const ResourceKey& name,
              const ResourceKey& language, std::vector<Resource>& out) const {
        if (language.named() || !Fits(offset, kDataEntrySize)) return false;
        const uint32_t rva = U32(offset);
        const uint32_t size = U32(uint64_t{offset} + 4);
        const auto at = to_offset_(rva, size);
        if (!at || *at > file_.size() || size > file_.size() - *at) return false;
        Resource r;
        r.type = type;
        r.name = name;
        r.language = language.id;
        r.code_page = U32(uint64_t{offset} + 8);
        r.bytes = file_.subspan(static_cast<size_t>(*at), size);
        out.push_back(r);
        return true;
    }

    std::span<const uint8_t> file_;
    uint64_t base_;
    uint64_t limit_;
    const RvaMapper& to_offset_;
    std::set<uint32_t> visited_;
};

}  // namespace

ResourceKey ResourceKey::Named(std::string_view ascii) {
    ResourceKey key;
    for (char c : ascii) {
        key.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(AsciiUpper(c))));
    }
    return key;
}

bool ResourceKey::operator<(const ResourceKey& other) const {
    if (named() != other.named()) return named();
    if (named()) return name < other.name;
    return id < other.id;
}

size_t AppendResourceSection(std::vector<Resource> resources, uint32_t section_rva,
                             std::vector<uint8_t>& out) {
    Tree tree;
    for (size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        tree[r.type][r.name][r.language] = i;  // a later one of the same key replaces
    }
    // Drop what was replaced, so no data is written twice.
    std::vector<Resource> kept;
    Tree compact;
    for (auto& [type, names] : tree) {
        for (auto& [name, languages] : names) {
            for (auto& [language, index] : languages) {
                compact[type][name][language] = kept.size();
                kept.push_back(resources[index]);
            }
        }
    }
    SectionWriter writer(kept, section_rva, out);
    return writer.Build(compact);
}

std::optional<std::vector<Resource>> ReadResourceTree(std::span<const uint8_t> file, uint64_t base,
                                                      uint64_t limit, const RvaMapper& to_offset) {
    std::vector<Resource> resources;
    TreeReader reader(file, base, limit, to_offset);
    if (!reader.Read(resources)) return std::nullopt;
    return resources;
}
