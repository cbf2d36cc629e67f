// Sample data of the kinds a package holds, generated deterministically.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace codec_test {

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(random());
    return out;
}

// Geometric byte values: a few dominate, the long tail still occurs.
inline std::vector<uint8_t> SkewedBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::geometric_distribution<int> dist(0.3);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(std::min(dist(random), 255));
    return out;
}

inline std::vector<uint8_t> TextLike(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"the ", "package ", "setup ",   "file ",
                                         "of ",  "and ",     "install ", "folder ",
                                         "\r\n", "a ",       "version ", "1.00 "};
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(n + 16);
    while (out.size() < n) {
        const std::string w = kWords[random() % 12];
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(n);
    return out;
}

// Runs of 1- to 8-byte patterns of many lengths between stretches of literals, including the
// byte values an escape might take.
inline std::vector<uint8_t> RunHeavy(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(n + 40000);
    while (out.size() < n) {
        const size_t p = 1 + random() % 8;
        std::vector<uint8_t> pattern(p);
        for (auto& b : pattern)
            b = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 3);
        const size_t repeats = random() % 3 == 0 ? random() % 5000 : random() % 40;
        for (size_t r = 0; r < repeats; ++r) out.insert(out.end(), pattern.begin(), pattern.end());
        for (size_t l = random() % 12; l > 0; --l) out.push_back(static_cast<uint8_t>(random()));
    }
    out.resize(n);
    return out;
}

// 32-bit little-endian integers and zero padding, as in executables.
inline std::vector<uint8_t> BinaryLike(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(n + 64);
    while (out.size() < n) {
        if (random() % 16 == 0) {
            out.insert(out.end(), 16 + random() % 200, 0);
            continue;
        }
        const auto v = static_cast<uint32_t>(random() % 4 == 0 ? random() : random() % 4096);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    out.resize(n);
    return out;
}

}  // namespace codec_test
