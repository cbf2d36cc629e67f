#include "minimal_executable.h"

#include <cstring>

namespace {

class Bytes {
  public:
    void U16(size_t at, uint32_t v) { Put(at, v, 2); }
    void U32(size_t at, uint32_t v) { Put(at, v, 4); }
    void Put(size_t at, uint32_t v, int count) {
        Grow(at + static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
    void Grow(size_t size) {
        if (bytes.size() < size) bytes.resize(size);
    }
    std::vector<uint8_t> bytes;
};

}  // namespace

std::vector<uint8_t> BuildExecutable(bool pe32_plus, const std::vector<TestResource>& resources) {
    Bytes tree;
    auto directory = [&](size_t at, uint32_t named, uint32_t numbered) {
        tree.U16(at + 12, named);
        tree.U16(at + 14, numbered);
    };
    auto string = [&](size_t at, const std::string& text) {
        tree.U16(at, static_cast<uint32_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i)
            tree.U16(at + 2 + 2 * i, static_cast<uint8_t>(text[i]));
        return at + 2 + 2 * text.size();
    };
    const uint32_t n = static_cast<uint32_t>(resources.size());
    const size_t name_dir = 16 + 8;
    const size_t lang_dirs = name_dir + 16 + 8 * n;
    const size_t data_entries = lang_dirs + (16 + 8) * n;
    size_t strings = data_entries + 16 * n;
    directory(0, 1, 0);
    tree.U32(16, 0x80000000u | static_cast<uint32_t>(strings));
    tree.U32(20, 0x80000000u | static_cast<uint32_t>(name_dir));
    strings = string(strings, "FILESPACK");
    // Named entries first, as the format wants.
    uint32_t named = 0;
    for (const auto& r : resources) named += std::holds_alternative<std::string>(r.name) ? 1 : 0;
    directory(name_dir, named, n - named);
    std::vector<const TestResource*> ordered;
    for (const auto& r : resources)
        if (std::holds_alternative<std::string>(r.name)) ordered.push_back(&r);
    for (const auto& r : resources)
        if (!std::holds_alternative<std::string>(r.name)) ordered.push_back(&r);
    std::vector<size_t> name_at(n);
    for (uint32_t i = 0; i < n; ++i) {
        if (const auto* text = std::get_if<std::string>(&ordered[i]->name)) {
            name_at[i] = strings;
            strings = string(strings, *text);
        }
    }
    std::vector<size_t> data_at;
    size_t data = (strings + 15) & ~size_t{15};
    for (const TestResource* r : ordered) {
        data_at.push_back(data);
        data += (r->data.size() + 15) & ~size_t{15};
    }
    for (uint32_t i = 0; i < n; ++i) {
        const TestResource& r = *ordered[i];
        const size_t entry = name_dir + 16 + 8 * i;
        if (std::holds_alternative<std::string>(r.name)) {
            tree.U32(entry, 0x80000000u | static_cast<uint32_t>(name_at[i]));
        } else {
            tree.U32(entry, std::get<uint16_t>(r.name));
        }
        const size_t lang = lang_dirs + 24 * i;
        tree.U32(entry + 4, 0x80000000u | static_cast<uint32_t>(lang));
        directory(lang, 0, 1);
        tree.U32(lang + 16, 0x411);
        tree.U32(lang + 20, static_cast<uint32_t>(data_entries + 16 * i));
        tree.U32(data_entries + 16 * i, kSectionRva + static_cast<uint32_t>(data_at[i]));
        tree.U32(data_entries + 16 * i + 4, static_cast<uint32_t>(r.data.size()));
        tree.Grow(data_at[i] + r.data.size());
        std::memcpy(tree.bytes.data() + data_at[i], r.data.data(), r.data.size());
    }
    tree.Grow(data);

    Bytes pe;
    pe.bytes = {'M', 'Z'};
    pe.U32(0x3C, 0x80);
    pe.U32(0x80, 0x00004550);
    const size_t coff = 0x84;
    pe.U16(coff, pe32_plus ? 0x8664 : 0x14C);
    pe.U16(coff + 2, 1);
    const uint32_t optional_size = pe32_plus ? 240 : 224;
    pe.U16(coff + 16, optional_size);
    const size_t optional = coff + 20;
    pe.U16(optional, pe32_plus ? 0x20B : 0x10B);
    const size_t count_field = optional + (pe32_plus ? 108 : 92);
    pe.U32(count_field, 16);
    pe.U32(count_field + 4 + 2 * 8, kSectionRva);
    pe.U32(count_field + 4 + 2 * 8 + 4, static_cast<uint32_t>(tree.bytes.size()));
    const size_t section = optional + optional_size;
    std::memcpy(pe.bytes.data() + (pe.Grow(section + 40), section), ".rsrc", 5);
    pe.U32(section + 8, static_cast<uint32_t>(tree.bytes.size()));
    pe.U32(section + 12, kSectionRva);
    pe.U32(section + 16, static_cast<uint32_t>(tree.bytes.size()));
    pe.U32(section + 20, kSectionFile);
    pe.Grow(kSectionFile);
    pe.bytes.insert(pe.bytes.end(), tree.bytes.begin(), tree.bytes.end());
    return pe.bytes;
}
