// What the integrity check costs an extraction done as the Windows program does it: the package
// lies in memory, the check reads it whole, then the engine extracts it on the same thread.
//
//   integrity_cost [--runs N] [--work DIR] [--each] PACKAGE
//
// One process reads PACKAGE into memory, then for N rounds (9 by default) extracts it twice into
// fresh empty folders under DIR: once with CheckIntegrity before Extract, once with Extract
// alone, the order swapped every round so that neither always runs on the other's leftovers.
// Each extraction is timed by the processor time of the process (user + system) and by the wall
// clock; the folders are emptied outside the timed part. Prints the medians, the median of the
// check alone, the ratio of the two medians and the check's share of an extraction; --each also
// prints every round, to judge the noise. PACKAGE must carry an integrity record.
//
// Built natively and for Windows (run under Wine there); DIR defaults to the system's temporary
// folder, and an ASCII path is safest, since the engine takes it as it is.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "package/extract_result.h"
#include "package/integrity_record.h"
#include "package/package_extractor.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Options {
    int runs = 9;
    bool each = false;
    fs::path work;
    fs::path package;
};

[[noreturn]] void Fail(const std::string& text) {
    std::fprintf(stderr, "integrity_cost: %s\n", text.c_str());
    std::exit(1);
}

constexpr const char* kUsage = "usage: integrity_cost [--runs N] [--work DIR] [--each] PACKAGE";

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            options.runs = std::atoi(argv[++i]);
            continue;
        }
        if (arg == "--each") {
            options.each = true;
            continue;
        }
        if (arg == "--work" && i + 1 < argc) {
            options.work = argv[++i];
            continue;
        }
        if (!arg.starts_with("--") && options.package.empty()) {
            options.package = arg;
            continue;
        }
        Fail(kUsage);
    }
    if (options.package.empty() || options.runs < 1) {
        Fail(kUsage);
    }
    return options;
}

// Processor time of the whole process, as a run of the Windows program would be charged.
double ProcessSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

double WallSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

std::vector<uint8_t> ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(path.string() + ": cannot open");
    std::vector<uint8_t> bytes(static_cast<size_t>(fs::file_size(path)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) Fail(path.string() + ": cannot read");
    return bytes;
}

// Extracted files may be read-only, which Windows will not delete.
void Empty(const fs::path& folder) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
    fs::remove_all(folder, ec);
    if (ec) Fail(folder.string() + ": cannot remove: " + ec.message());
}

struct Sample {
    double cpu = 0;
    double wall = 0;
};

struct Round {
    Sample with_check;
    Sample check_alone;
    Sample without_check;
};

class Bench {
  public:
    Bench(const std::vector<uint8_t>& package, fs::path folder)
        : package_(package), folder_(std::move(folder)) {}

    Round RunRound(bool check_first) {
        Round round;
        if (check_first) {
            round.with_check = Once(true, &round.check_alone);
            round.without_check = Once(false, nullptr);
        } else {
            round.without_check = Once(false, nullptr);
            round.with_check = Once(true, &round.check_alone);
        }
        return round;
    }

  private:
    // One extraction into a fresh folder; `check_alone`, when given, gets the check's share.
    Sample Once(bool check, Sample* check_alone) {
        std::error_code ec;
        fs::create_directories(folder_, ec);
        if (ec) Fail(folder_.string() + ": cannot create: " + ec.message());

        PackageExtractor engine;
        ExtractResult result{};
        const double cpu_start = ProcessSeconds();
        const double wall_start = WallSeconds();
        if (check) {
            const IntegrityCheck verdict = CheckIntegrity(package_.data(), package_.size());
            if (check_alone != nullptr) {
                check_alone->cpu = ProcessSeconds() - cpu_start;
                check_alone->wall = WallSeconds() - wall_start;
            }
            // The benchmark is only meaningful when the check read the whole package.
            if (verdict.verdict != IntegrityVerdict::VERIFIED) {
                Fail("the package carries no intact integrity record");
            }
        }
        const std::string folder = folder_.string();
        const int ok = engine.Extract(package_.data(), package_.size(), folder.c_str(), &result);
        const Sample sample{ProcessSeconds() - cpu_start, WallSeconds() - wall_start};
        if (ok == 0) Fail("the extraction failed: " + std::string(result.message));
        Empty(folder_);
        return sample;
    }

    const std::vector<uint8_t>& package_;
    fs::path folder_;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Medians {
    double cpu;
    double wall;
};

Medians MedianOf(const std::vector<Round>& rounds, Sample Round::*which) {
    std::vector<double> cpu, wall;
    for (const Round& round : rounds) {
        cpu.push_back((round.*which).cpu);
        wall.push_back((round.*which).wall);
    }
    return {Median(cpu), Median(wall)};
}

long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

}  // namespace

int main(int argc, char** argv) {
    Options options = ParseOptions(argc, argv);
    if (options.work.empty()) options.work = fs::temp_directory_path();
    const std::vector<uint8_t> package = ReadWhole(options.package);
    const fs::path folder = options.work / ("integrity-cost-" + std::to_string(ProcessId()));

    Bench bench(package, folder);
    bench.RunRound(true);  // not counted: the first extraction grows the heap and warms caches
    std::vector<Round> rounds;
    for (int i = 0; i < options.runs; ++i) rounds.push_back(bench.RunRound(i % 2 == 0));

    if (options.each) {
        std::printf("round  first  check + extract  extract alone  check alone (cpu ms)\n");
        for (size_t i = 0; i < rounds.size(); ++i) {
            const Round& r = rounds[i];
            std::printf("%5zu  %5s  %15.1f  %13.1f  %11.1f\n", i + 1,
                        i % 2 == 0 ? "check" : "plain", r.with_check.cpu * 1e3,
                        r.without_check.cpu * 1e3, r.check_alone.cpu * 1e3);
        }
    }
    const Medians with = MedianOf(rounds, &Round::with_check);
    const Medians without = MedianOf(rounds, &Round::without_check);
    const Medians check = MedianOf(rounds, &Round::check_alone);
    std::printf("%s: %zu bytes in memory, extracted into %s; median of %d runs each\n",
                options.package.string().c_str(), package.size(), folder.string().c_str(),
                options.runs);
    std::printf("%-20s %10s %10s\n", "", "cpu ms", "wall ms");
    std::printf("%-20s %10.1f %10.1f\n", "check + extract", with.cpu * 1e3, with.wall * 1e3);
    std::printf("%-20s %10.1f %10.1f\n", "extract alone", without.cpu * 1e3, without.wall * 1e3);
    std::printf("%-20s %10.1f %10.1f\n", "check alone", check.cpu * 1e3, check.wall * 1e3);
    std::printf("%-20s %10.3f %10.3f\n", "ratio", with.cpu / without.cpu, with.wall / without.wall);
    // The extractions vary by more than the check takes; its own share is the steadier figure.
    std::printf("%-20s %10.3f %10.3f\n", "check / extract", check.cpu / without.cpu,
                check.wall / without.wall);
    // Wine counts processor time in 10 ms steps, too coarse for the check alone.
    std::printf("check alone: %.0f MB/s (wall clock)\n",
                static_cast<double>(package.size()) / check.wall / 1e6);
    return 0;
}
