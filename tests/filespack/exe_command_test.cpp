// `filespack exe`: the generic program stamped into a product that the verbs read back, whose
// headers and resources hold together, made the same way twice; bad input leaves no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "codec/entropy_encode.h"
#include "tools/filespack/reading/package_layout.h"

#include "package/little_endian.h"
#include "resources/stamp_resources.h"
#include "minimal_executable.h"
#include "tool_test_support.h"
#include "pe/pe_image.h"

namespace {

const std::filesystem::path kStub = FILESPACK_TEST_STUB;

class StampTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(kStub)) GTEST_SKIP() << "no generic program: " << kStub;
        std::filesystem::create_directories(dir_ / "in");
        WriteBytes(dir_ / "in/Setup.exe", PatternBytes(5000, 1));
        WriteBytes(dir_ / "in/読んでね.txt", PatternBytes(300, 2));
    }

    // The product's arguments; `extra` replaces or adds to them.
    std::vector<std::string> Args(const std::string& output,
                                  const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args = {"exe", dir_.Arg(output), dir_.Arg("in"),
                                         "--stub", kStub.string(),
                                         "--name", "Quolta",
                                         "--description", "インターネット電話 Quolta",
                                         "--product-version", "Ver 1.71",
                                         "--caption", "SelfUnpack - Quolta",
                                         "--resource-name", "quolta",
                                         "--mtime", "1280620800", "-q"};
        for (size_t i = 0; i + 1 < extra.size(); i += 2) {
            const auto at = std::find(args.begin(), args.end(), extra[i]);
            if (at == args.end()) {
                args.insert(args.end(), {extra[i], extra[i + 1]});
            } else {
                *(at + 1) = extra[i + 1];
            }
        }
        return args;
    }

    std::vector<Resource> ResourcesOf(const std::vector<uint8_t>& image, PeImage& pe) const {
        std::string error;
        EXPECT_TRUE(pe.Parse(image, error)) << error;
        auto resources = pe.Resources(error);
        EXPECT_TRUE(resources) << error;
        return resources ? *resources : std::vector<Resource>{};
    }

    ScratchDir dir_;
};

std::string Find(const std::vector<Resource>& resources, const char* type, const char* name) {
    for (const Resource& r : resources) {
        if (r.type == ResourceKey::Named(type) && r.name == ResourceKey::Named(name)) {
            return std::string(r.bytes.begin(), r.bytes.end());
        }
    }
    return "<none>";
}

size_t CountOfType(const std::vector<Resource>& resources, uint16_t type) {
    return static_cast<size_t>(std::count_if(resources.begin(), resources.end(), [&](const auto& r) {
        return r.type == ResourceKey::Number(type);
    }));
}

}  // namespace

TEST_F(StampTest, ProductCarriesIdentityAndPackageAndHoldsTogether) {
    const ToolRun run = RunTool(Args("p.exe"));
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");  // Setup.exe is there: no warning

    const ToolRun test = RunTool({"test", dir_.Arg("p.exe")});
    EXPECT_EQ(test.code, 0) << test.err;
    EXPECT_NE(test.out.find("2 files"), std::string::npos) << test.out;

    const std::vector<uint8_t> image = ReadBytes(dir_ / "p.exe");
    PeImage pe;
    const auto resources = ResourcesOf(image, pe);
    EXPECT_EQ(Find(resources, kIdentityResourceType, kIdentityName), "Quolta");
    // Shift-JIS bytes of インターネット電話, as the program's texts are.
    EXPECT_EQ(Find(resources, kIdentityResourceType, kIdentityDescription).substr(0, 4),
              "\x83\x43\x83\x93");
    EXPECT_EQ(Find(resources, kIdentityResourceType, kIdentityResourceName), "QUOLTA");
    EXPECT_EQ(Find(resources, kIdentityResourceType, kProgramMarkerName).rfind(kProgramMarkerText, 0),
              0u);
    EXPECT_NE(Find(resources, "FILESPACK", "QUOLTA"), "<none>");
    EXPECT_EQ(CountOfType(resources, kTypeVersion), 1u);
    EXPECT_FALSE(pe.has_signature());

    // The checksum field holds the file's checksum; the image size covers the last section.
    const uint64_t optional = LoadU32(image.data() + 0x3C) + 24;
    EXPECT_EQ(LoadU32(image.data() + optional + 64), PeChecksum(image, optional + 64));

    // Stamping the product again with the same inputs changes nothing.
    std::filesystem::create_directories(dir_ / "again");
    const ToolRun again = RunTool(Args("again/p.exe", {"--stub", dir_.Arg("p.exe")}));
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadBytes(dir_ / "again/p.exe"), image);
}

TEST_F(StampTest, SameInputsGiveTheSameBytesAndAnIconReplacesTheProgramsOwn) {
    // The file's name goes into its version record: the same name in two folders.
    std::filesystem::create_directories(dir_ / "a");
    std::filesystem::create_directories(dir_ / "b");
    ASSERT_EQ(RunTool(Args("a/p.exe")).code, 0);
    ASSERT_EQ(RunTool(Args("b/p.exe")).code, 0);
    EXPECT_EQ(ReadBytes(dir_ / "a/p.exe"), ReadBytes(dir_ / "b/p.exe"));

    // Two images: a header, two directory entries, and their bytes.
    std::vector<uint8_t> ico(6 + 2 * 16 + 40 + 60, 0x5A);
    const uint8_t header[] = {0, 0, 1, 0, 2, 0};
    const uint8_t entries[2][16] = {{16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 38, 0, 0, 0},
                                    {32, 32, 0, 0, 1, 0, 32, 0, 60, 0, 0, 0, 78, 0, 0, 0}};
    std::memcpy(ico.data(), header, sizeof header);
    std::memcpy(ico.data() + 6, entries, sizeof entries);
    WriteBytes(dir_ / "i.ico", ico);
    const ToolRun run = RunTool(Args("icon.exe", {"--icon", dir_.Arg("i.ico")}));
    ASSERT_EQ(run.code, 0) << run.err;
    PeImage pe;
    const auto resources = ResourcesOf(ReadBytes(dir_ / "icon.exe"), pe);
    EXPECT_EQ(CountOfType(resources, kTypeIcon), 2u);
    EXPECT_EQ(CountOfType(resources, kTypeGroupIcon), 1u);
}

TEST_F(StampTest, WhatOnlyLimitsAProductIsWarnedAbout) {
    ASSERT_EQ(RunTool({"create", "-q", dir_.Arg("p.fpk"), dir_.Arg("in")}).code, 0);
    WriteBytes(dir_ / "old.fpk", WithoutIntegrityRecord(ReadBytes(dir_ / "p.fpk")));
    std::filesystem::remove(dir_ / "in/Setup.exe");
    const struct {
        std::vector<std::string> extra;
        const char* warning;
    } cases[] = {
        {{}, "no Setup.exe"},
        {{"--product-version", "Ver 99999.1"}, "1.0.0.0"},
        {{"--package", dir_.Arg("old.fpk")}, "no integrity record"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = Args("p.exe", c.extra);
        if (!c.extra.empty() && c.extra.front() == "--package") args.erase(args.begin() + 2);
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
        std::filesystem::remove(dir_ / "p.exe");
    }
}

// A product must carry a package that `test` passes: one flipped byte, or names the extractor
// refuses in a sealed package, once gave a product that failed on every machine.
TEST_F(StampTest, ReadyPackageThatTestRefusesIsNotStamped) {
    ASSERT_EQ(RunTool({"create", "-q", dir_.Arg("p.fpk"), dir_.Arg("in")}).code, 0);
    std::vector<uint8_t> damaged = ReadBytes(dir_ / "p.fpk");
    damaged[damaged.size() / 2] ^= 0x10;
    WriteBytes(dir_ / "damaged.fpk", damaged);
    std::vector<std::string> packages = {"damaged.fpk"};
    // No writer stores these names: stand-ins of the same length are swapped for them.
    const std::pair<std::string, std::string> names[] = {
        {"COX.setup", "CON.setup"}, {"aa_aa_x.e", "..\\..\\x.e"}, {"a_b.setup", "a:b.setup"}};
    for (const auto& [stand_in, name] : names) {
        packages.push_back("names" + std::to_string(packages.size()) + ".fpk");
        WritePackage(dir_ / packages.back(), {"Setup.exe", stand_in});
        std::vector<uint8_t> bytes = ReadBytes(dir_ / packages.back());
        const auto at = std::search(bytes.begin(), bytes.end(), stand_in.begin(), stand_in.end());
        ASSERT_NE(at, bytes.end());
        std::copy(name.begin(), name.end(), at);
        Reseal(bytes);
        WriteBytes(dir_ / packages.back(), bytes);
        ASSERT_NE(RunTool({"list", dir_.Arg(packages.back())}).out.find("integrity: verified"),
                  std::string::npos);
    }
    for (const std::string& package : packages) {
        std::vector<std::string> args = Args("p.exe", {"--package", dir_.Arg(package)});
        args.erase(args.begin() + 2);
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, 1) << package << ": " << run.err;
        EXPECT_NE(run.err.find(package), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "p.exe")) << package;
    }
}

// The product's reader knows folders, so exe packs the tree; a Setup.exe down in it is not the
// one the program runs.
TEST_F(StampTest, TreesArePackedAndOnlyATopSetupCounts) {
    std::filesystem::create_directories(dir_ / "in/tools");
    std::filesystem::rename(dir_ / "in/Setup.exe", dir_ / "in/tools/Setup.exe");
    const ToolRun run = RunTool(Args("p.exe"));
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("no Setup.exe"), std::string::npos) << run.err;
    const ToolRun list = RunTool({"list", dir_.Arg("p.exe")});
    EXPECT_NE(list.out.find("tools/Setup.exe"), std::string::npos) << list.out;
}

TEST_F(StampTest, BadInputIsRefusedAndLeavesNoFile) {
    WriteBytes(dir_ / "not.ico", PatternBytes(100, 3));
    WriteBytes(dir_ / "not.exe", PatternBytes(4000, 4));
    // The program with its marker's text changed: an executable, but not ours.
    std::vector<uint8_t> foreign = ReadBytes(kStub);
    const std::string marker = kProgramMarkerText;
    const auto at = std::search(foreign.begin(), foreign.end(), marker.begin(), marker.end());
    ASSERT_NE(at, foreign.end());
    *at = 'X';
    WriteBytes(dir_ / "foreign.exe", foreign);
    WriteBytes(dir_ / "two.exe", BuildExecutable(false, {{std::string("A"), PatternBytes(50, 1)},
                                                         {std::string("B"), PatternBytes(50, 2)}}));
    std::vector<uint8_t> many = {0, 0, 1, 0, 3000 & 0xFF, 3000 >> 8};
    many.resize(6 + 3000 * 16 + 40, 0);
    WriteBytes(dir_ / "many.ico", many);

    struct Case {
        const char* what;
        std::vector<std::string> extra;
        int code;
        const char* message;
    };
    const std::string long_name(220, 'N');
    const std::string long_description(318, 'D');
    const std::vector<Case> cases = {
        {"name and version over 226 bytes", {"--name", long_name}, 1, "226"},
        {"caption and version over 254 bytes", {"--caption", std::string(250, 'C')}, 1, "254"},
        {"description over 317 bytes", {"--description", long_description}, 1, "317"},
        {"no Shift-JIS form", {"--name", "Quolta \xE2\x98\x83"}, 1, "Shift-JIS"},
        {"resource name starting with a digit", {"--resource-name", "9QUOLTA"}, 1, "letters"},
        {"an icon that is not one", {"--icon", dir_.Arg("not.ico")}, 1, "not an icon"},
        {"a stub that is not an executable", {"--stub", dir_.Arg("not.exe")}, 1, "MZ"},
        {"a stub without the marker", {"--stub", dir_.Arg("foreign.exe")}, 1, "marker"},
        {"a malformed file version", {"--file-version", "1.2.3.4.5"}, 2, "--file-version"},
        {"no package to stamp", {"--package", dir_.Arg("not.exe")}, 1, "not.exe"},
        {"a resource name in kanji", {"--resource-name", "表"}, 1, "\"表\""},
        {"a company that is not UTF-8", {"--company", "Q\xFF"}, 1, "--company is not UTF-8"},
        {"two packages to choose from", {"--package", dir_.Arg("two.exe")}, 1, "extract"},
        {"an icon of 3000 images", {"--icon", dir_.Arg("many.ico")}, 1, "at most 64"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = Args("p.exe", c.extra);
        if (c.extra.front() == "--package") args.erase(args.begin() + 2);  // no INPUT
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "p.exe")) << c.what;
    }
    // Usage errors: a required identity string missing, and nothing to pack.
    std::vector<std::string> no_name = Args("p.exe");
    no_name.erase(no_name.begin() + 5, no_name.begin() + 7);
    EXPECT_EQ(RunTool(no_name).code, 2);
    std::vector<std::string> no_input = Args("p.exe");
    no_input.erase(no_input.begin() + 2);
    EXPECT_EQ(RunTool(no_input).code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "p.exe"));
}

void PutI32(uint8_t* at, int32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

// A program that predates a kind of chunk: the generic program with a line of its marker
// spoiled.
std::vector<uint8_t> WithoutMarkerLine(std::vector<uint8_t> program, const std::string& line) {
    const auto at = std::search(program.begin(), program.end(), line.begin(), line.end());
    EXPECT_NE(at, program.end()) << line;
    if (at != program.end()) *(at + static_cast<std::ptrdiff_t>(line.size()) - 1) = 'X';
    return program;
}

// The package with every chunk that holds a frame or a stream piece put behind another entropy
// code than the identity code, resealed: what no writer makes, but what the engine reads.
std::vector<uint8_t> ZstdChunksCoded(std::vector<uint8_t> package) {
    const LayoutScan scan = ReadPackageLayout(package);
    EXPECT_TRUE(scan.ok) << scan.error;
    if (!scan.ok) return package;
    std::vector<size_t> chunks;  // where each chunk's length stands
    for (const LayoutEntry& entry : scan.layout.entries) {
        size_t at = static_cast<size_t>(entry.chunks_offset);
        for (int32_t i = 0; i < entry.chunk_count; ++i) {
            chunks.push_back(at);
            at += 4 + static_cast<size_t>(LoadI32(package.data() + at));
        }
    }
    int32_t growth = 0;
    // From the last, so that the places of those before stay where they are.
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) {
        const size_t at = *it;
        const auto length = static_cast<size_t>(LoadI32(package.data() + at));
        const uint8_t* body = package.data() + at + 4;
        if (!(body[4] == 1 && body[5] == 8 && (body[6] == 2 || body[6] == 3))) continue;
        const std::vector<uint8_t> stream(body + 6, body + length);
        // A code that favours the mode byte, so that it is not the identity code.
        ByteCounts counts = CountBytes(stream.data(), stream.size());
        counts[stream[0]] += 1000000;
        const std::vector<uint8_t> coded =
            WriteEntropyBody(PlanEntropyCode(counts), stream.data(), stream.size());
        EXPECT_FALSE(coded[4] == 1 && coded[5] == 8) << "not the identity code";
        package.erase(package.begin() + static_cast<std::ptrdiff_t>(at + 4),
                      package.begin() + static_cast<std::ptrdiff_t>(at + 4 + length));
        package.insert(package.begin() + static_cast<std::ptrdiff_t>(at + 4), coded.begin(),
                       coded.end());
        PutI32(package.data() + at, static_cast<int32_t>(coded.size()));
        growth += static_cast<int32_t>(coded.size()) - static_cast<int32_t>(length);
    }
    PutI32(package.data() + LENGTH_OFFSET, LoadI32(package.data() + LENGTH_OFFSET) + growth);
    Reseal(package);
    return package;
}

// Zstd and stream chunks go to no program that does not declare it reads them: an older one
// would fail every install at the first such chunk. What the chunks hold decides, whatever
// entropy code stands in front of the mode byte.
TEST_F(StampTest, AnOlderProgramGetsNoChunksItCannotRead) {
    WriteBytes(dir_ / "in/readme.txt", std::vector<uint8_t>(20000, 'a'));
    const std::vector<uint8_t> generic = ReadBytes(kStub);
    WriteBytes(dir_ / "before-zstd.exe",
               WithoutMarkerLine(WithoutMarkerLine(generic, kProgramReadsZstd), kProgramReadsStream));
    WriteBytes(dir_ / "before-stream.exe", WithoutMarkerLine(generic, kProgramReadsStream));
    for (const char* method : {"zstd", "stream"}) {
        ASSERT_EQ(RunTool({"create", dir_.Arg(std::string(method) + ".fpk"), dir_.Arg("in"),
                           "--method", method, "-q"})
                      .code,
                  0);
        WriteBytes(dir_ / (std::string(method) + "-coded.fpk"),
                   ZstdChunksCoded(ReadBytes(dir_ / (std::string(method) + ".fpk"))));
        const ToolRun listed =
            RunTool({"list", "--json", dir_.Arg(std::string(method) + "-coded.fpk")});
        EXPECT_EQ(listed.out.find("\"chunks\": \"classic\""), std::string::npos) << listed.out;
        EXPECT_EQ(RunTool({"test", dir_.Arg(std::string(method) + "-coded.fpk"), "-q"}).code, 0);
    }
    struct Case {
        const char* what;
        const char* program;
        std::vector<std::string> extra;  // "--package" first: a ready package, no INPUT
        int code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"stream by default, program before zstd", "before-zstd.exe", {}, 1,
         "does not read stream chunks; pack with --method classic"},
        {"zstd asked, program before zstd", "before-zstd.exe", {"--method", "zstd"}, 1,
         "does not read zstd chunks; pack with --method classic"},
        {"classic, program before zstd", "before-zstd.exe", {"--method", "classic"}, 0, ""},
        {"stream by default, program before stream", "before-stream.exe", {}, 1,
         "does not read stream chunks; pack with --method zstd or --method classic"},
        {"zstd, program before stream", "before-stream.exe", {"--method", "zstd"}, 0, ""},
        {"ready zstd package", "before-zstd.exe", {"--package", dir_.Arg("zstd.fpk")}, 1,
         "repack it with --method classic"},
        {"ready zstd package behind another code", "before-zstd.exe",
         {"--package", dir_.Arg("zstd-coded.fpk")}, 1, "repack it with --method classic"},
        {"ready stream package", "before-stream.exe", {"--package", dir_.Arg("stream.fpk")}, 1,
         "repack it with --method zstd"},
        {"ready stream package behind another code", "before-stream.exe",
         {"--package", dir_.Arg("stream-coded.fpk")}, 1, "repack it with --method zstd"},
        {"ready stream package, program before zstd", "before-zstd.exe",
         {"--package", dir_.Arg("stream-coded.fpk")}, 1, "repack it with --method classic"},
        {"ready stream package, today's program", "", {"--package", dir_.Arg("stream-coded.fpk")},
         0, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> extra = c.extra;
        if (*c.program != 0) extra.insert(extra.end(), {"--stub", dir_.Arg(c.program)});
        std::vector<std::string> args = Args("p.exe", extra);
        if (!c.extra.empty() && c.extra.front() == "--package") args.erase(args.begin() + 2);
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(std::filesystem::exists(dir_ / "p.exe"), c.code == 0) << c.what;
        std::filesystem::remove(dir_ / "p.exe");
    }
}

#ifndef _WIN32
// `exe` stamps the bytes it tested: a ready package that is a pipe, read once, holds a damaged
// package the first time and a sound one the second; the product must not carry the first.
TEST_F(StampTest, TheReadyPackageTestedIsThePackageStamped) {
    ASSERT_EQ(RunTool({"create", dir_.Arg("good.fpk"), dir_.Arg("in"), "-q"}).code, 0);
    const std::vector<uint8_t> good = ReadBytes(dir_ / "good.fpk");
    std::vector<uint8_t> damaged = good;
    damaged[damaged.size() / 2] ^= 0x40;
    const auto pipe = dir_ / "ready.fpk";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    // The damaged package to the first reader, the sound one to every later reader: each served
    // once it has opened the pipe, and the next only after it closed it.
    const int closes = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(closes, 0);
    ASSERT_GE(inotify_add_watch(closes, pipe.c_str(), IN_CLOSE_NOWRITE), 0);
    std::thread writer([&] {
        for (int served = 0; !done;) {
            const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            fcntl(fd, F_SETFL, 0);
            const std::vector<uint8_t>& bytes = served++ == 0 ? damaged : good;
            for (size_t at = 0; at < bytes.size();) {
                const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
                if (n <= 0) break;
                at += static_cast<size_t>(n);
            }
            close(fd);
            pollfd wait{closes, POLLIN, 0};
            while (!done && poll(&wait, 1, 20) == 0) {
            }
            char events[4096];
            static_cast<void>(read(closes, events, sizeof events));
        }
    });
    std::vector<std::string> args = Args("p.exe", {"--package", pipe.string()});
    args.erase(args.begin() + 2);
    const ToolRun run = RunTool(args);
    done = true;
    writer.join();
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "p.exe"));
    close(closes);
}
#endif

// A damaged resource tree in the program is refused, never read past.
TEST_F(StampTest, EveryDamagedByteOfTheResourceTreeIsHandled) {
    const std::vector<uint8_t> stub = ReadBytes(kStub);
    PeImage pe;
    std::string error;
    ASSERT_TRUE(pe.Parse(stub, error)) << error;
    const uint64_t optional = LoadU32(stub.data() + 0x3C) + 24;
    const uint32_t rva = LoadU32(stub.data() + optional + (pe.pe32_plus() ? 112 : 96) + 16);
    const auto base = pe.RvaToOffset(rva, 16);
    ASSERT_TRUE(base);
    // The directories, names and data entries lie at the section's start.
    for (size_t i = 0; i < 1024; ++i) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
            std::vector<uint8_t> damaged = stub;
            damaged[static_cast<size_t>(*base) + i] = value;
            PeImage d;
            ASSERT_TRUE(d.Parse(damaged, error));
            const auto resources = d.Resources(error);
            if (!resources) continue;
            std::vector<uint8_t> out;
            d.Rewrite(*resources, out, error);
        }
    }
}
