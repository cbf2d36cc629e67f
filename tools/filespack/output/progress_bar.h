// A one-line progress bar on standard error, drawn only when that is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct PackageLayout;

class ProgressBar {
  public:
    ProgressBar(std::ostream& out, bool enabled, std::string label);
    ~ProgressBar();

    // `done` of `total`; once CountUnpacked has been called, both are positions in the package.
    void Update(int64_t done, int64_t total);
    // Shows what the engine has unpacked rather than how far it has read, so that the bar counts
    // what every summary counts. A package read up to an entry's chunks counts that part of the
    // entry's size.
    void CountUnpacked(const PackageLayout& layout);
    // Draws the final state and ends the line; later updates are ignored.
    void Finish();
    // Removes the bar so that a message can take its line.
    void Clear();

  private:
    struct Span {
        int64_t start;   // where the entry's chunks start in the package
        int64_t stored;  // their bytes
        int64_t size;    // the bytes they unpack to
        int64_t before;  // the sizes of the entries before it
    };
    int64_t Unpacked(int64_t position) const;
    void Draw(int64_t done, int64_t total);

    std::vector<Span> spans_;
    int64_t unpacked_total_ = -1;

    std::ostream& out_;
    bool enabled_;
    bool drawn_ = false;
    std::string label_;
    int last_permille_ = -1;
    std::chrono::steady_clock::time_point last_draw_;
    size_t width_ = 0;
    int64_t last_total_ = 0;
};

// Whether standard error is an interactive terminal.
bool StderrIsTerminal();
