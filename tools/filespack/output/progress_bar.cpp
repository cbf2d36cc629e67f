#include "tools/filespack/output/progress_bar.h"

#include <algorithm>
#include <cstdio>

#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/output/text_format.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kBarCells = 30;
constexpr auto kMinInterval = std::chrono::milliseconds(100);

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, bool enabled, std::string label)
    : out_(out), enabled_(enabled), label_(std::move(label)) {}

ProgressBar::~ProgressBar() {
    Clear();
}

void ProgressBar::CountUnpacked(const PackageLayout& layout) {
    spans_.clear();
    int64_t before = 0;
    for (const auto& entry : layout.entries) {
        spans_.push_back({entry.chunks_offset, entry.stored_bytes, entry.size, before});
        before += entry.size;
    }
    unpacked_total_ = before;
}

int64_t ProgressBar::Unpacked(int64_t position) const {
    int64_t unpacked = 0;
    for (const Span& span : spans_) {
        if (position < span.start) break;
        const int64_t read = std::min(position - span.start, span.stored);
        unpacked = span.before + (span.stored > 0 ? span.size * read / span.stored : span.size);
    }
    return unpacked;
}

void ProgressBar::Update(int64_t done, int64_t total) {
    if (!enabled_ || total <= 0) return;
    if (unpacked_total_ > 0) {
        done = Unpacked(done);
        total = unpacked_total_;
    }
    last_total_ = total;
    const int permille = static_cast<int>(done * 1000 / total);
    const auto now = std::chrono::steady_clock::now();
    // Redrawing on every chunk would cost more than the work for small blocks.
    if (permille == last_permille_ || (drawn_ && now - last_draw_ < kMinInterval)) return;
    last_permille_ = permille;
    last_draw_ = now;
    Draw(done, total);
}

void ProgressBar::Finish() {
    if (!enabled_) return;
    if (drawn_) {
        Draw(last_total_, last_total_);
        out_ << '\n' << std::flush;
    }
    drawn_ = false;
    enabled_ = false;
}

void ProgressBar::Clear() {
    if (!drawn_) return;
    out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    drawn_ = false;
}

void ProgressBar::Draw(int64_t done, int64_t total) {
    const int64_t filled = done * kBarCells / total;
    std::string line = label_ + " [";
    for (int i = 0; i < kBarCells; ++i) line += i < filled ? '#' : '.';
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%% ", static_cast<int>(done * 100 / total));
    line += percent;
    line += FormatBytes(done) + " / " + FormatBytes(total);
    std::string padded = line;
    if (padded.size() < width_) padded += std::string(width_ - padded.size(), ' ');
    width_ = line.size();
    out_ << '\r' << padded << std::flush;
    drawn_ = true;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}
