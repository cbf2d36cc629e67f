// Packages inside executables: a minimal PE32 or PE32+ built here, read by the resource walk and
// by the verbs; damaged headers must be refused, never read past.
#include "tools/filespack/pe_resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <variant>

#include "json_reader.h"
#include "tool_test_support.h"
#include "tools/filespack/file_names.h"

namespace {

struct Resource {
    std::variant<std::string, uint16_t> name;  // ASCII name or number
    std::vector<uint8_t> data;
};

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

constexpr uint32_t kSectionRva = 0x3000;
constexpr uint32_t kSectionFile = 0x400;

// One section holding the resource tree: type "FILESPACK" -> each name -> language 0x411.
std::vector<uint8_t> BuildExecutable(bool pe32_plus, const std::vector<Resource>& resources) {
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
    std::vector<const Resource*> ordered;
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
    for (const Resource* r : ordered) {
        data_at.push_back(data);
        data += (r->data.size() + 15) & ~size_t{15};
    }
    for (uint32_t i = 0; i < n; ++i) {
        const Resource& r = *ordered[i];
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

std::vector<uint8_t> Blob(size_t size, uint8_t fill) {
    return std::vector<uint8_t>(size, fill);
}

// Nothing found may lie outside the bytes given.
void ExpectContained(const PeResourceScan& scan, size_t size) {
    for (const auto& r : scan.resources) {
        EXPECT_LE(r.offset, size);
        EXPECT_LE(r.size, size - r.offset);
    }
}

}  // namespace

TEST(PeResources, FindsNamedAndNumberedPackagesInBothKinds) {
    for (const bool plus : {false, true}) {
        const auto image = BuildExecutable(
            plus, {{std::string("QUOLTA"), Blob(100, 0xAB)}, {uint16_t{7}, Blob(33, 0xCD)}});
        const PeResourceScan scan = FindPeResources(image, "filespack");
        ASSERT_TRUE(scan.ok) << scan.error;
        ASSERT_EQ(scan.resources.size(), 2u);
        EXPECT_EQ(scan.resources[0].name, "QUOLTA");
        EXPECT_EQ(scan.resources[0].size, 100u);
        EXPECT_EQ(image[static_cast<size_t>(scan.resources[0].offset)], 0xAB);
        EXPECT_EQ(scan.resources[1].name, "#7");
        EXPECT_EQ(image[static_cast<size_t>(scan.resources[1].offset) + 32], 0xCD);
        EXPECT_TRUE(ResourceNameMatches(scan.resources[0], "quolta"));
        EXPECT_TRUE(ResourceNameMatches(scan.resources[1], "#7"));
        EXPECT_TRUE(ResourceNameMatches(scan.resources[1], "7"));
        EXPECT_FALSE(ResourceNameMatches(scan.resources[1], "17"));
        EXPECT_TRUE(FindPeResources(image, "OTHER").resources.empty());
    }
}

TEST(PeResources, DamagedHeadersAreRefusedWithoutReadingPastThem) {
    const auto image =
        BuildExecutable(false, {{std::string("QUOLTA"), Blob(64, 1)}, {uint16_t{3}, Blob(40, 2)}});
    // Every truncation.
    for (size_t size = 0; size <= image.size(); ++size) {
        const std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<ptrdiff_t>(size));
        ExpectContained(FindPeResources(cut, "FILESPACK"), size);
    }
    // Every header and tree byte set to values that break offsets and counts.
    for (size_t at = 0; at < image.size(); ++at) {
        for (const uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
            auto bent = image;
            bent[at] = value;
            ExpectContained(FindPeResources(bent, "FILESPACK"), bent.size());
        }
    }
    // A name directory that points back at the root.
    auto loop = image;
    const size_t name_dir_entry = kSectionFile + 16 + 8 + 16;
    loop[name_dir_entry + 4] = 0;
    loop[name_dir_entry + 5] = 0;
    const PeResourceScan scan = FindPeResources(loop, "FILESPACK");
    ExpectContained(scan, loop.size());
}

TEST(PeResources, VerbsReadThePackageInsideAnExecutable) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "src");
    WriteBytes(dir / "src/Setup.exe", PatternBytes(5000, 4));
    WriteBytes(dir / "src/表.txt", PatternBytes(12, 5));
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    const auto package = ReadBytes(dir / "p.fpk");

    WriteBytes(dir / "one.exe", BuildExecutable(false, {{std::string("QUOLTA"), package}}));
    const ToolRun list = RunTool({"list", "--json", dir.Arg("one.exe")});
    ASSERT_EQ(list.code, 0) << list.err;
    const JsonValue listing = JsonReader::Parse(list.out);
    EXPECT_EQ(listing["resource"].text(), "QUOLTA");
    EXPECT_EQ(listing["files"].array().size(), 2u);
    EXPECT_EQ(RunTool({"test", "-q", dir.Arg("one.exe")}).code, 0);
    ASSERT_EQ(RunTool({"extract", "-q", dir.Arg("one.exe")}).code, 0);
    EXPECT_EQ(ReadBytes(dir / "one/表.txt"), PatternBytes(12, 5));

    // Two packages: the caller must choose.
    WriteBytes(dir / "two.exe",
               BuildExecutable(true, {{std::string("OLD"), Blob(50, 0)}, {uint16_t{9}, package}}));
    const ToolRun ambiguous = RunTool({"list", dir.Arg("two.exe")});
    EXPECT_EQ(ambiguous.code, 1);
    EXPECT_NE(ambiguous.err.find("--resource"), std::string::npos) << ambiguous.err;
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "#9"}).code, 0);
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "old"}).code, 1);  // not a package
    EXPECT_EQ(RunTool({"list", dir.Arg("two.exe"), "--resource", "NONE"}).code, 1);

    // A resource that declares more bytes than the file has.
    auto short_exe = BuildExecutable(false, {{std::string("QUOLTA"), package}});
    const PeResource found = FindPeResources(short_exe, "FILESPACK").resources.at(0);
    short_exe.resize(static_cast<size_t>(found.offset) + found.size - 1);
    WriteBytes(dir / "short.exe", short_exe);
    EXPECT_EQ(RunTool({"list", dir.Arg("short.exe")}).code, 1);
    EXPECT_EQ(RunTool({"extract", dir.Arg("short.exe")}).code, 1);
}
