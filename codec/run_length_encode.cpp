#include "codec/run_length_encode.h"

#include <algorithm>
#include <cstring>

#include "codec/entropy_encode.h"

namespace {

constexpr size_t kMaxPattern = 8;
constexpr size_t kMaxShortRepeats = 16;
constexpr size_t kMinLongRepeats = 16;
constexpr uint8_t kEscapedEscape = 0xFF;
// Long counts are e * 15 + low + 16 with e <= 255 and low <= 15, except that the 8-byte pattern
// with low 15 would be the descriptor 0xFF.
constexpr size_t kMaxRepeats = 255 * 15 + 15 + 16;

size_t MaxRepeats(size_t pattern) {
    return pattern == kMaxPattern ? kMaxRepeats - 1 : kMaxRepeats;
}

struct Run {
    size_t pattern = 0;
    size_t repeats = 0;
    size_t saving = 0;
};

size_t RunCost(size_t pattern, size_t repeats) {
    return (repeats <= kMaxShortRepeats ? 2 : 3) + pattern;
}

// The best run starting at `at`: for each pattern length, how far the bytes repeat with that
// period. A one-byte run that ends on its own ends every longer period there too, at more cost;
// one cut short by the largest count is covered furthest by 8-byte patterns of the same byte.
Run FindRun(const uint8_t* data, size_t size, size_t at) {
    Run best;
    for (size_t p = 1; p <= kMaxPattern && at + 2 * p <= size; ++p) {
        if (data[at + p] != data[at]) continue;
        const size_t limit = std::min(size, at + p * MaxRepeats(p));
        size_t j = at + p;
        while (j < limit && data[j] == data[j - p]) ++j;
        const size_t repeats = (j - at) / p;
        if (repeats < 2) continue;
        const size_t covered = repeats * p;
        const size_t cost = RunCost(p, repeats);
        if (covered > cost && covered - cost > best.saving) best = {p, repeats, covered - cost};
        if (p == 1 && j - at > 2 * kMaxPattern) {
            if (j < limit) break;
            p = kMaxPattern - 1;
        }
    }
    return best;
}

uint8_t PickEscape(const uint8_t* data, size_t size) {
    const ByteCounts counts = CountBytes(data, size);
    size_t escape = 0;
    for (size_t b = 1; b < 256; ++b) {
        if (counts[b] < counts[escape]) escape = b;
    }
    return static_cast<uint8_t>(escape);
}

void PutRun(std::vector<uint8_t>& out, uint8_t escape, const uint8_t* pattern, const Run& run) {
    const auto p_bits = static_cast<uint8_t>((run.pattern - 1) << 4);
    out.push_back(escape);
    if (run.repeats <= kMaxShortRepeats) {
        out.push_back(static_cast<uint8_t>(p_bits | (run.repeats - 1)));
    } else {
        size_t extension = (run.repeats - kMinLongRepeats) / 15;
        size_t low = (run.repeats - kMinLongRepeats) % 15;
        if (extension > 255) {  // only the very longest count: 255 * 15 + 15 + 16
            extension = 255;
            low = 15;
        }
        out.push_back(static_cast<uint8_t>(0x80 | p_bits | low));
        out.push_back(static_cast<uint8_t>(extension));
    }
    out.insert(out.end(), pattern, pattern + run.pattern);
}

}  // namespace

std::vector<uint8_t> RunLengthEncode(const uint8_t* data, size_t size) {
    const uint8_t escape = PickEscape(data, size);
    std::vector<uint8_t> out;
    out.reserve(size + size / 64 + 16);
    out.push_back(1);
    out.push_back(escape);
    size_t i = 0;
    while (i < size) {
        const Run run = FindRun(data, size, i);
        if (run.saving > 0) {
            PutRun(out, escape, data + i, run);
            i += run.pattern * run.repeats;
            continue;
        }
        out.push_back(data[i]);
        if (data[i] == escape) out.push_back(kEscapedEscape);
        ++i;
    }
    return out;
}
