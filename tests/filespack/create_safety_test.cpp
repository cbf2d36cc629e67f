// `create` writes only a file of its own making, and never puts a package together from a file
// that is being rewritten or from another run's half-written package.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <set>
#include <thread>

#include "json_reader.h"
#include "tool_test_support.h"
#include "tools/filespack/files/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(PathToUtf8(entry.path().filename()));
    }
    return names;
}

// Keeps rewriting the start of a file in place, size unchanged, each time with a new write
// time: the change must show whatever the file system's clock granularity.
class Rewriter {
  public:
    explicit Rewriter(const std::filesystem::path& path) : path_(path) {
        thread_ = std::thread([this] { Run(); });
        while (rewrites_ == 0 && !failed_) std::this_thread::yield();
    }
    ~Rewriter() {
        stop_ = true;
        thread_.join();
    }
    bool failed() const { return failed_; }

  private:
    void Run() {
        const std::vector<uint8_t> bytes = PatternBytes(1024, 99);
#ifdef _WIN32
        const HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed_ = true;
            return;
        }
        for (uint64_t n = 1; !stop_ && !failed_; ++n) {
            OVERLAPPED at_start{};
            DWORD written = 0;
            const uint64_t time = 132000000000000000 + n * 10000000;
            const FILETIME write{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
            failed_ = !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                 &at_start) ||
                      !SetFileTime(file, nullptr, nullptr, &write);
            ++rewrites_;
        }
        CloseHandle(file);
#else
        const int file = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (file < 0) {
            failed_ = true;
            return;
        }
        for (time_t n = 1; !stop_ && !failed_; ++n) {
            const timespec times[2] = {{0, UTIME_OMIT}, {1600000000 + n, 0}};
            failed_ =
                pwrite(file, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) ||
                futimens(file, times) != 0;
            ++rewrites_;
        }
        close(file);
#endif
    }

    std::filesystem::path path_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> rewrites_{0};
    std::thread thread_;
};

}  // namespace

// A file where the package goes, under a name the tool once used or uses for its own files,
// is someone else's: it is neither written through, nor removed, nor packed.
TEST(CreateSafety, LeavesFilesBesideThePackageAlone) {
    struct Case {
        const char* bystander;
        bool link_to_victim;
        bool files_to_pack;
    };
    const std::vector<Case> cases = {
        {"out.fpk.partial", false, true},
        {"out.fpk.partial", false, false},
#ifndef _WIN32
        {"out.fpk.partial", true, true},
        {"out.fpk.partial", true, false},
#endif
        {".out.fpk.k3J9aQ.partial", false, true},  // what a killed run left
    };
    const std::vector<uint8_t> precious = PatternBytes(700, 1);
    const std::vector<uint8_t> notes = PatternBytes(900, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bystander) + (c.link_to_victim ? " (link)" : "") +
                     (c.files_to_pack ? "" : ", nothing to pack"));
        ScratchDir dir;
        std::filesystem::create_directory(dir / "in");
        WriteBytes(dir / "victim.txt", precious);
        if (c.files_to_pack) WriteBytes(dir / "in/a.txt", PatternBytes(3000, 3));
        const auto bystander = dir / "in" / c.bystander;
        if (c.link_to_victim) {
            std::filesystem::create_symlink(dir / "victim.txt", bystander);
        } else {
            WriteBytes(bystander, notes);
        }

        const ToolRun run = RunTool({"create", "-q", dir.Arg("in/out.fpk"), dir.Arg("in")});
        EXPECT_EQ(run.code, c.files_to_pack ? 0 : 1) << run.err;
        EXPECT_TRUE(ReadBytes(dir / "victim.txt") == precious);
        EXPECT_EQ(std::filesystem::is_symlink(bystander), c.link_to_victim);
        EXPECT_TRUE(ReadBytes(bystander) == (c.link_to_victim ? precious : notes));
        std::set<std::string> expected{c.bystander};
        if (c.files_to_pack) expected.insert({"a.txt", "out.fpk"});
        EXPECT_EQ(NamesIn(dir / "in"), expected);
        if (!c.files_to_pack) continue;
        const JsonValue listing =
            JsonReader::Parse(RunTool({"list", "--json", dir.Arg("in/out.fpk")}).out);
        ASSERT_EQ(listing["files"].array().size(), 1u);
        EXPECT_EQ(listing["files"].array()[0]["name"].text(), "a.txt");
    }
}

// Whichever run renames last wins; what it leaves is one whole package, never a mix of two.
TEST(CreateSafety, ConcurrentRunsToOneOutputEachLeaveAWholePackage) {
    ScratchDir dir;
    const std::array<std::string, 2> inputs = {"a", "b"};
    const std::array<size_t, 2> sizes = {400000, 150000};
    std::array<std::vector<uint8_t>, 2> alone;
    for (size_t i = 0; i < 2; ++i) {
        std::filesystem::create_directory(dir / inputs[i]);
        WriteBytes(dir / (inputs[i] + "/data.bin"),
                   PatternBytes(sizes[i], static_cast<uint32_t>(i)));
        const std::string package = inputs[i] + ".fpk";
        ASSERT_EQ(
            RunTool({"create", "-q", "--mtime", "0", dir.Arg(package), dir.Arg(inputs[i])}).code,
            0);
        alone[i] = ReadBytes(dir / package);
    }
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::array<ToolRun, 2> runs;
        std::atomic<int> ready{0};
        std::array<std::thread, 2> threads;
        for (size_t i = 0; i < 2; ++i) {
            threads[i] = std::thread([&, i] {
                ++ready;
                while (ready < 2) std::this_thread::yield();
                runs[i] = RunTool(
                    {"create", "-q", "--mtime", "0", dir.Arg("out.fpk"), dir.Arg(inputs[i])});
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(runs[0].code, 0) << runs[0].err;
        EXPECT_EQ(runs[1].code, 0) << runs[1].err;
        const auto result = ReadBytes(dir / "out.fpk");
        EXPECT_TRUE(result == alone[0] || result == alone[1]) << result.size() << " bytes";
        EXPECT_EQ(RunTool({"test", "-q", dir.Arg("out.fpk")}).code, 0);
        EXPECT_EQ(NamesIn(dir.path()),
                  (std::set<std::string>{"a", "b", "a.fpk", "b.fpk", "out.fpk"}));
    }
}

TEST(CreateSafety, FileRewrittenWhileItIsPackedIsRefused) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "in");
    WriteBytes(dir / "in/big.bin", PatternBytes(500000, 5));
    ToolRun run;
    {
        Rewriter rewriter(dir / "in/big.bin");
        ASSERT_FALSE(rewriter.failed());
        run = RunTool({"create", "-q", dir.Arg("out.fpk"), dir.Arg("in")});
    }
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("big.bin: the file changed while it was packed"), std::string::npos)
        << run.err;
    EXPECT_EQ(NamesIn(dir.path()), std::set<std::string>{"in"});
}
