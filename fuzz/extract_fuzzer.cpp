// Extraction of arbitrary bytes into a scratch folder: no crash, no read past the input, and
// nothing created anywhere but in the folder (and its folders). The folder is emptied after every
// input.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "package/package_extractor.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch() {
        std::string pattern = fs::temp_directory_path().string() + "/extract-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        dest = root / "dest";
        fs::create_directory(dest);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path root;
    fs::path dest;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Scratch& scratch = TheScratch();
    // An exact copy, so that a read past the input is a heap overflow the sanitizer reports.
    const std::vector<uint8_t> package(data, data + size);
    PackageExtractor engine;
    ExtractResult result{};
    engine.Extract(package.data(), package.size(), scratch.dest.c_str(), &result);
    for (const auto& entry : fs::directory_iterator(scratch.root)) {
        if (entry.path() != scratch.dest) {
            std::fprintf(stderr, "created outside the folder: %s\n", entry.path().c_str());
            std::abort();
        }
    }
    // Names with folders make folders; the engine makes nothing else but plain files.
    for (const auto& entry : fs::recursive_directory_iterator(scratch.dest)) {
        if (entry.is_symlink() || !(entry.is_regular_file() || entry.is_directory())) {
            std::fprintf(stderr, "not a plain file or folder: %s\n", entry.path().c_str());
            std::abort();
        }
    }
    for (const auto& entry : fs::directory_iterator(scratch.dest)) fs::remove_all(entry.path());
    return 0;
}
