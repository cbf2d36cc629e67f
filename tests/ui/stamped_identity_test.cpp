// The generic program's identity comes from resources it did not build: it takes stamped strings
// only when all of them fit its buffers, and otherwise answers as a program without a product.
// Each case stamps a copy of the program and reads it back as a resource module.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/stamp_resources.h"
#include "runner/stamped_app.h"
#include "pe/pe_image.h"

namespace {

struct Stamp {
    const char* key;
    std::string value;
};

// A copy of the generic program carrying `stamps` as its identity resources.
std::string StampedCopy(const std::vector<Stamp>& stamps, const std::string& name) {
    std::ifstream in(GENERIC_PROGRAM, std::ios::binary);
    const std::vector<uint8_t> program{std::istreambuf_iterator<char>(in), {}};
    PeImage image;
    std::string error;
    EXPECT_TRUE(image.Parse(program, error)) << error;
    auto resources = image.Resources(error);
    EXPECT_TRUE(resources) << error;
    if (!resources) return "";
    for (const Stamp& s : stamps) {
        Resource r;
        r.type = ResourceKey::Named(kIdentityResourceType);
        r.name = ResourceKey::Named(s.key);
        r.bytes = {reinterpret_cast<const uint8_t*>(s.value.data()), s.value.size()};
        resources->push_back(r);
    }
    std::vector<uint8_t> out;
    EXPECT_TRUE(image.Rewrite(*resources, out, error)) << error;
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "stamped-identity-" + name + ".exe";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()),
                                                static_cast<std::streamsize>(out.size()));
    return path;
}

struct Identity {
    std::string name, description, version, caption, resource;
};

Identity Read(const std::string& path) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << path;
    Identity got;
    {
        StampedApp app(module);
        got = {app.Name(), app.Description(), app.Version(), app.Caption(),
               app.PackageResourceName()};
    }
    FreeLibrary(module);
    DeleteFileA(path.c_str());
    return got;
}

const Identity kDefaults{"", "", "", "Self Unpack", "APPLIRES"};

}  // namespace

TEST(StampedIdentity, TakenWholeOrNotAtAll) {
    const std::vector<Stamp> sample = {{kIdentityName, "Quolta"},
                                       {kIdentityDescription, "インターネット電話 Quolta"},
                                       {kIdentityVersion, "Ver 1.71"},
                                       {kIdentityCaption, "SelfUnpack - Quolta"},
                                       {kIdentityResourceName, "QUOLTA"}};
    struct Case {
        const char* what;
        std::vector<Stamp> stamps;
        Identity expected;
    };
    auto with = [&](const char* key, std::string value) {
        std::vector<Stamp> stamps = sample;
        for (Stamp& s : stamps) {
            if (std::string(s.key) == key) s.value = std::move(value);
        }
        return stamps;
    };
    const Case cases[] = {
        {"the sample", sample,
         {"Quolta", "インターネット電話 Quolta", "Ver 1.71", "SelfUnpack - Quolta", "QUOLTA"}},
        {"nothing stamped", {}, kDefaults},
        {"only a name: the rest are the defaults", {{kIdentityName, "Quolta"}},
         {"Quolta", "", "", "Self Unpack", "APPLIRES"}},
        {"a description one byte over", with(kIdentityDescription, std::string(318, 'd')),
         kDefaults},
        {"name and version one byte over", with(kIdentityName, std::string(219, 'n')), kDefaults},
        {"a NUL inside a string", with(kIdentityCaption, std::string("Self\0Unpack", 11)),
         kDefaults},
        {"a lead byte cut off at the end", with(kIdentityName, "Quolta\x93"), kDefaults},
        {"a resource name that is not one", with(kIdentityResourceName, "#12"), kDefaults},
    };
    int n = 0;
    for (const Case& c : cases) {
        const Identity got = Read(StampedCopy(c.stamps, std::to_string(n++)));
        EXPECT_EQ(got.name, c.expected.name) << c.what;
        EXPECT_EQ(got.description, c.expected.description) << c.what;
        EXPECT_EQ(got.version, c.expected.version) << c.what;
        EXPECT_EQ(got.caption, c.expected.caption) << c.what;
        EXPECT_EQ(got.resource, c.expected.resource) << c.what;
    }
}
