// What extract and the reading of packages must not be made to do by a hostile package, a
// hostile file system or another user: write outside the folder, write before refusing, or
// read without end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "tool_test_support.h"
#include "tools/filespack/reading/engine_run.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/reading/package_source.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

bool Mentions(const ToolRun& run, const std::string& text) {
    return run.err.find(text) != std::string::npos || run.out.find(text) != std::string::npos;
}

void PutText(std::vector<uint8_t>& bytes, std::string_view text) {
    for (const char c : text) bytes.push_back(static_cast<uint8_t>(c));
}

void PutI32(std::vector<uint8_t>& bytes, int32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    }
}

// A package whose entries claim 2 GiB and more between them: the first holds one stored chunk
// (the engine writes it), the second's size takes the total over.
std::vector<uint8_t> OverTwoGiB() {
    std::vector<uint8_t> bytes;
    PutText(bytes, std::string_view(PACKAGE_MAGIC, sizeof PACKAGE_MAGIC));
    PutText(bytes, std::string_view(PLAIN_MARKER, sizeof PLAIN_MARKER));
    PutI32(bytes, 0);
    PutText(bytes, std::string_view(PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE));
    PutI32(bytes, MIN_BLOCK_SIZE);
    for (const std::string name : {"a.bin", "b.bin"}) {
        bytes.push_back(static_cast<uint8_t>(name.size()));
        PutText(bytes, name);
        PutI32(bytes, 0x7FFFFF00);
        bytes.insert(bytes.end(), ENTRY_UNIT_SIZE, 0);
        PutI32(bytes, 1);
        bytes.push_back(0);  // a body that does not matter: the sizes are refused first
        PutI32(bytes, 0);
    }
    bytes.push_back(0);
    const auto declared = static_cast<uint32_t>(bytes.size() - LENGTH_BASE);
    for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<uint8_t>(declared >> (8 * i));
    return bytes;
}

// A package whose files hold their names as text, each in one stored chunk.
std::vector<uint8_t> NamesAsText(const std::vector<std::string>& names) {
    std::vector<uint8_t> bytes;
    PutText(bytes, std::string_view(PACKAGE_MAGIC, sizeof PACKAGE_MAGIC));
    PutText(bytes, std::string_view(PLAIN_MARKER, sizeof PLAIN_MARKER));
    PutI32(bytes, 0);
    PutText(bytes, std::string_view(PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE));
    PutI32(bytes, MIN_BLOCK_SIZE);
    for (const std::string& name : names) {
        bytes.push_back(static_cast<uint8_t>(name.size()));
        PutText(bytes, name);
        PutI32(bytes, static_cast<int32_t>(name.size()));
        bytes.insert(bytes.end(), ENTRY_UNIT_SIZE, 0);
        PutI32(bytes, static_cast<int32_t>(name.size()) + 7);  // a stored body
        PutI32(bytes, static_cast<int32_t>(name.size()) + 1);
        PutText(bytes, std::string_view("\x01\x08\x00", 3));
        PutText(bytes, name);
        PutI32(bytes, 0);
    }
    bytes.push_back(0);
    const auto declared = static_cast<uint32_t>(bytes.size() - LENGTH_BASE);
    for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<uint8_t>(declared >> (8 * i));
    return bytes;
}

}  // namespace

// Windows would merge two spellings of one folder, a POSIX system would not: every engine
// refuses the package before its first file, and both verbs say which names.
TEST(ExtractSafety, AFolderSpelledTwoWaysIsRefusedBeforeAnyFile) {
    ScratchDir dir;
    WriteBytes(dir / "two.fpk", NamesAsText({"ok.txt", "A\\b.txt", "a\\c.txt"}));
    const ToolRun extract = RunTool({"extract", dir.Arg("two.fpk"), "-o", dir.Arg("out")});
    EXPECT_EQ(extract.code, 1);
    EXPECT_TRUE(Mentions(extract, "spell one folder two ways")) << extract.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    const ToolRun test = RunTool({"test", dir.Arg("two.fpk")});
    EXPECT_EQ(test.code, 1);
    EXPECT_TRUE(Mentions(test, "spell one folder two ways")) << test.err;

    WriteBytes(dir / "one.fpk", NamesAsText({"ok.txt", "A\\b.txt", "A\\c.txt"}));
    EXPECT_EQ(RunTool({"extract", dir.Arg("one.fpk"), "-o", dir.Arg("out")}).code, 0);
    const std::string stored = "A\\c.txt";
    EXPECT_EQ(ReadBytes(dir / "out" / "A" / "c.txt"),
              std::vector<uint8_t>(stored.begin(), stored.end()));
}

// Not a package, or one that could never be extracted whole: refused before the folder exists.
TEST(ExtractSafety, RefusedPackagesLeaveNoFolder) {
    ScratchDir dir;
    WriteBytes(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir / "huge.fpk", OverTwoGiB());
    for (const std::string name : {"notes.txt", "huge.fpk"}) {
        const ToolRun run = RunTool({"extract", dir.Arg(name), "-o", dir.Arg("out")});
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << name;
        EXPECT_FALSE(Mentions(run, "left in")) << run.err;
    }
    const ToolRun huge = RunTool({"extract", dir.Arg("huge.fpk"), "-o", dir.Arg("out")});
    EXPECT_TRUE(Mentions(huge, "2 GiB")) << huge.err;
}

#ifndef _WIN32
namespace {

void MakeFiles(const ScratchDir& dir, int count) {
    std::filesystem::create_directories(dir / "src");
    for (int i = 0; i < count; ++i) {
        WriteBytes(dir / ("src/f" + std::to_string(100 + i) + ".txt"), PatternBytes(700, 7));
    }
}

}  // namespace

// A link in an entry's place is a file in the way, even when it leads nowhere.
TEST(ExtractSafety, DanglingLinkAtAnEntrysNameStopsBeforeAnyFile) {
    ScratchDir dir;
    MakeFiles(dir, 3);
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    std::filesystem::create_directory(dir / "out");
    std::filesystem::create_symlink(dir / "nowhere", dir / "out/f101.txt");
    const ToolRun run = RunTool({"extract", dir.Arg("p.fpk"), "-o", dir.Arg("out")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "already exists")) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/f100.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
}

// The folder swapped for a link while the engine works: the files still go where the folder
// went, never where the link points.
TEST(ExtractSafety, FolderSwappedForALinkMidRunDoesNotRedirectFiles) {
    ScratchDir dir;
    MakeFiles(dir, 20);
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    std::filesystem::create_directory(dir / "out");
    std::filesystem::create_directory(dir / "elsewhere");
    const PackageSource source = LoadPackage(dir / "p.fpk", "");
    ASSERT_TRUE(source.ok) << source.error;
    ProgressBar bar(std::cerr, false, "");
    bool swapped = false;
    const EngineOutcome outcome = RunEngine(source.bytes(), dir / "out", bar, [&](int64_t) {
        if (swapped) return;
        swapped = true;
        std::filesystem::rename(dir / "out", dir / "out.moved");
        std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out");
    });
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
    if (outcome.ok) {
        EXPECT_EQ(ReadBytes(dir / "out.moved/f119.txt"), PatternBytes(700, 7));
    }
}

// A pipe or a device is read only as far as a package can reach.
TEST(ExtractSafety, EndlessInputIsNotReadWithoutEnd) {
    const ToolRun run = RunTool({"list", "/dev/zero"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "not a package")) << run.err;
}
#endif

#ifdef __linux__
// A full temporary folder is the machine's trouble, and test says so instead of blaming the
// package. Needs a small file system of its own: mounted where the test may (as root).
TEST(TestSafety, FullTemporaryFolderIsNamedNotBlamedOnThePackage) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "tmp");
    const std::string mount = "mount -t tmpfs -o size=256k tmpfs '" + dir.Arg("tmp") + "' 2>/dev/null";
    if (geteuid() != 0 || std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    WriteBytes(dir / "big.bin", PatternBytes(3000000, 9));
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("big.bin")}).code, 0);
    ToolRun run;
    {
        const ScopedTempFolder temp(dir / "tmp");
        run = RunTool({"test", dir.Arg("p.fpk")});
    }
    const bool emptied = std::filesystem::is_empty(dir / "tmp");
    std::system(("umount '" + dir.Arg("tmp") + "'").c_str());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "is full")) << run.err;
    EXPECT_FALSE(Mentions(run, "p.fpk: ")) << run.err;
    EXPECT_TRUE(emptied);
}
#endif

#if !defined(_WIN32) && defined(FILESPACK_EXE)
// The tool runs as a process of its own here: a signal to this one would end the tests. Whatever
// moment the signal lands on, nothing unfinished stays: what extract left is whole and test leaves
// no scratch data. A run may finish its work before the signal reaches it (a loaded machine, or a
// sanitizer that holds signals back until its next call); that run proves nothing about the
// handler, so it is tried again, and one of three tries must end as an interrupted run ends.
TEST(Interruption, LeavesNoUnfinishedFileAndNoScratchData) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "src");
    std::filesystem::create_directories(dir / "tmp");
    for (int i = 0; i < 3; ++i) {
        WriteBytes(dir / ("src/f" + std::to_string(i) + ".bin"), PatternBytes(4000000, 40 + i));
    }
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    const struct {
        const char* verb;
        int signal;
        std::filesystem::path watched;  // where the run's first file shows up
    } runs[] = {{"extract", SIGINT, dir / "out"}, {"test", SIGTERM, dir / "tmp"}};
    for (const auto& run : runs) {
        bool interrupted = false;
        for (int attempt = 0; attempt < 3 && !interrupted; ++attempt) {
            std::filesystem::remove_all(dir / "out");
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                setenv("TMPDIR", dir.Arg("tmp").c_str(), 1);
                const std::string package = dir.Arg("p.fpk"), out = dir.Arg("out");
                if (std::string(run.verb) == "extract") {
                    execl(FILESPACK_EXE, "filespack", "extract", "-q", "-j", "1", package.c_str(),
                          "-o", out.c_str(), static_cast<char*>(nullptr));
                } else {
                    execl(FILESPACK_EXE, "filespack", "test", "-q", "-j", "1", package.c_str(),
                          static_cast<char*>(nullptr));
                }
                _exit(127);
            }
            for (int waited = 0; waited < 60000; ++waited) {
                std::error_code ec;
                if (std::filesystem::recursive_directory_iterator(run.watched, ec) !=
                    std::filesystem::recursive_directory_iterator()) {
                    break;
                }
                usleep(1000);
            }
            const SignalledRun ended = SignalRun(child, run.signal);
            interrupted = ended == SignalledRun::INTERRUPTED;
            EXPECT_NE(ended, SignalledRun::OTHER) << run.verb;
            std::error_code ec;
            for (const auto& item : std::filesystem::directory_iterator(dir / "out", ec)) {
                EXPECT_EQ(std::filesystem::file_size(item.path()), 4000000u) << item.path();
            }
            EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << run.verb;
        }
        EXPECT_TRUE(interrupted) << run.verb << ": every try finished before the signal";
    }
}
#endif

#ifndef _WIN32
// Another program cuts the package while the engine reads it: no bus error ends the run, and
// the reader learns that what it read past the cut was not the file.
TEST(ExtractSafety, PackageCutWhileReadFailsInsteadOfCrashing) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "src");
    for (int i = 0; i < 8; ++i) {
        WriteBytes(dir / ("src/f" + std::to_string(i) + ".bin"), PatternBytes(300000, 60 + i));
    }
    ASSERT_EQ(RunTool({"create", "-q", dir.Arg("p.fpk"), dir.Arg("src")}).code, 0);
    const PackageSource source = LoadPackage(dir / "p.fpk", "");
    ASSERT_TRUE(source.ok && source.file.mapped()) << source.error;
    std::filesystem::create_directory(dir / "out");
    ProgressBar bar(std::cerr, false, "");
    bool cut = false;
    const EngineOutcome outcome = RunEngine(source.bytes(), dir / "out", bar, [&](int64_t done) {
        source.ReleaseConsumed(done);
        if (cut) return;
        cut = true;
        std::filesystem::resize_file(dir / "p.fpk", source.length / 2);
        source.file.ReleaseAll();  // nothing of the file stays in memory to read from
        const uint8_t past_the_cut = source.bytes()[source.length - 1];  // no bus error
        EXPECT_EQ(past_the_cut, 0);
    });
    EXPECT_TRUE(cut);
    // The engine may even succeed, when zeros past the cut read as the end byte: only the
    // shrinking tells, and the verbs ask for it.
    EXPECT_TRUE(source.file.Shrank());
    const ToolRun run = RunTool({"test", dir.Arg("p.fpk")});
    EXPECT_EQ(run.code, 1);
}
#endif

#ifndef _WIN32
// The engine's bare "ライトエラー！" is explained: which file, and what the system said. A name
// of 255 Shift-JIS bytes of kanji is too long for a Linux file system once it is UTF-8.
TEST(ExtractSafety, AFileThatCannotBeCreatedIsNamedWithTheSystemsReason) {
    ScratchDir dir;
    std::string name;
    for (int i = 0; i < 127; ++i) name += "\x95\x5c";  // 表
    name += "a";
    std::FILE* out = OpenFile(dir / "long.fpk", "w+b");
    ASSERT_NE(out, nullptr);
    PackageWriter writer(out, MIN_BLOCK_SIZE);
    const uint8_t data[] = {1, 2, 3};
    const bool written = writer.AddFile({"first.txt", ATTRIBUTE_ARCHIVE, {}}, data, sizeof data) &&
                         writer.AddFile({name, ATTRIBUTE_ARCHIVE, {}}, data, sizeof data) &&
                         writer.Finish();
    std::fclose(out);
    ASSERT_TRUE(written) << writer.error();
    const ToolRun run = RunTool({"extract", dir.Arg("long.fpk"), "-o", dir.Arg("out")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Mentions(run, "could not be created: " + std::string(std::strerror(ENAMETOOLONG))))
        << run.err;
}
#endif
