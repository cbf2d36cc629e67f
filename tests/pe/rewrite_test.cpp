// Rewriting an executable with new resources: what a linker's output may hold beyond the
// sections must come through whole, and a layout the rewrite cannot keep must be refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include "minimal_executable.h"
#include "package/little_endian.h"
#include "pe/icon_file.h"
#include "pe/pe_image.h"
#include "pe/version_record.h"

namespace {

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Rewrite(const std::vector<uint8_t>& file, std::vector<uint8_t>& out, std::string& error) {
    PeImage image;
    if (!image.Parse(file, error)) return false;
    auto resources = image.Resources(error);
    return resources && image.Rewrite(std::move(*resources), out, error);
}

// Address space that is never touched: the rewrite must refuse before it reads a byte.
class UntouchedRange {
  public:
    explicit UntouchedRange(size_t size) : size_(size) {
#ifdef _WIN32
        base_ = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
#else
        base_ = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base_ == MAP_FAILED) base_ = nullptr;
#endif
    }
    ~UntouchedRange() {
        if (base_ == nullptr) return;
#ifdef _WIN32
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, size_);
#endif
    }
    UntouchedRange(const UntouchedRange&) = delete;
    UntouchedRange& operator=(const UntouchedRange&) = delete;
    std::span<const uint8_t> bytes() const { return {static_cast<const uint8_t*>(base_), size_}; }
    bool ok() const { return base_ != nullptr; }

  private:
    void* base_ = nullptr;
    size_t size_;
};

}  // namespace

// Windows maps a program whole below 2 GiB, beside the system's libraries: a product of 2 GiB was
// written and then never started. One that cannot be mapped is refused before anything is copied.
TEST(PeRewrite, RefusesAProductWindowsCannotMap) {
    if (sizeof(void*) < 8) GTEST_SKIP() << "no room for the range in a 32-bit process";
    const auto file = BuildExecutable(false, {{std::string("P"), std::vector<uint8_t>(64, 7)}});
    PeImage image;
    std::string error;
    ASSERT_TRUE(image.Parse(file, error)) << error;
    for (const size_t size : {size_t{0x70000000}, size_t{0x7FFF0000}}) {
        const UntouchedRange package(size);
        ASSERT_TRUE(package.ok());
        Resource resource;
        resource.type = ResourceKey::Number(10);
        resource.name = ResourceKey::Named("PACKAGE");
        resource.bytes = package.bytes();
        std::vector<uint8_t> out;
        EXPECT_FALSE(image.Rewrite({resource}, out, error)) << size;
        EXPECT_NE(error.find("1792 MiB"), std::string::npos) << error;
    }
}

TEST(PeRewrite, RefusesHeadersThatDoNotEndBeforeTheFirstSection) {
    for (const uint32_t section_at : {0x100u, 0x180u}) {
        auto file = BuildExecutable(false, {{std::string("P"), std::vector<uint8_t>(600, 7)}});
        const size_t section_header = kCoffHeader + 20 + 224;
        Put32(file, section_header + 20, section_at);
        PeImage image;
        std::string error;
        ASSERT_TRUE(image.Parse(file, error)) << error;
        std::vector<uint8_t> out;
        EXPECT_FALSE(image.Rewrite({}, out, error)) << section_at;
        EXPECT_NE(error.find("headers"), std::string::npos) << error;
    }
}

// Unstripped builds name long sections ("/4") in the string table behind the symbols.
TEST(PeRewrite, CarriesTheSymbolAndStringTables) {
    auto file = BuildExecutable(true, {{std::string("P"), std::vector<uint8_t>(40, 1)}});
    const size_t symbols = file.size();
    std::vector<uint8_t> tables(2 * 18, 0x5A);
    const std::string strings = ".debug_info";
    tables.insert(tables.end(), {static_cast<uint8_t>(4 + strings.size() + 1), 0, 0, 0});
    tables.insert(tables.end(), strings.begin(), strings.end());
    tables.push_back(0);
    file.insert(file.end(), tables.begin(), tables.end());
    Put32(file, kCoffHeader + 8, static_cast<uint32_t>(symbols));
    Put32(file, kCoffHeader + 12, 2);

    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(Rewrite(file, out, error)) << error;
    const uint32_t moved = LoadU32(out.data() + kCoffHeader + 8);
    EXPECT_EQ(LoadU32(out.data() + kCoffHeader + 12), 2u);
    ASSERT_NE(moved, 0u);
    ASSERT_LE(moved + tables.size(), out.size());
    EXPECT_TRUE(std::equal(tables.begin(), tables.end(), out.begin() + moved));
}

// 3000 entries naming the same bytes once made a 3 GB executable; 65535 ran out of memory.
TEST(IconFile, ImagesAreBoundedAndStoredOnce) {
    const auto ico = [](size_t entries, uint32_t image_size, bool shared) {
        std::vector<uint8_t> bytes{0, 0, 1, 0, static_cast<uint8_t>(entries),
                                   static_cast<uint8_t>(entries >> 8)};
        const size_t images = 6 + 16 * entries;
        bytes.resize(images + (shared ? 1 : entries) * image_size, 0x11);
        for (size_t i = 0; i < entries; ++i) {
            const size_t e = 6 + 16 * i;
            Put32(bytes, e + 8, image_size);
            Put32(bytes, e + 12, static_cast<uint32_t>(images + (shared ? 0 : i * image_size)));
        }
        return bytes;
    };
    IconResources icon;
    std::string error;
    const auto same = ico(3, 100, true);
    ASSERT_TRUE(SplitIconFile(same, 1, icon, error)) << error;
    EXPECT_EQ(icon.images.size(), 1u);
    ASSERT_EQ(icon.group.size(), 6u + 3 * 14);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(icon.group[6 + 14 * i + 12], 1) << i;

    const struct {
        size_t entries;
        uint32_t size;
        bool shared;
        bool ok;
    } cases[] = {
        {64, 100, false, true},
        {65, 100, true, false},
        {65535, 16, true, false},
        {4, 1 << 20, false, true},
        {5, 1 << 20, false, false},
        {2, (4 << 20) + 1, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitIconFile(ico(c.entries, c.size, c.shared), 1, icon, error), c.ok)
            << c.entries << " x " << c.size;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(VersionNumbers, FourNumbersFromTheProductVersionOrNone) {
    using Numbers = std::array<uint16_t, 4>;
    const struct {
        const char* text;
        std::optional<Numbers> numbers;
    } cases[] = {
        {"Ver 1.71", Numbers{1, 71, 0, 0}},
        {"1.7.1.5", Numbers{1, 7, 1, 5}},
        {"v2.0.3.4.9", Numbers{2, 0, 3, 4}},
        {"Ver 99999.1", std::nullopt},
        {"Version one", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(VersionNumbersIn(c.text), c.numbers) << c.text;
}
