// Damage to a package that carries an integrity record: the input is a list of edits (byte
// flips, an insertion, a cut) made to one sealed package. Whatever the edits, the check never
// reads past the bytes it is given, and it says "verified" only for the package as written.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/integrity_record.h"
#include "package/package_writer.h"

namespace {

std::vector<uint8_t> SealedPackage() {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) std::abort();
    PackageWriter writer(file, 1024);
    std::string text;
    for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i * i) + "\n";
    const std::string small = "hello";
    const bool written =
        writer.AddFile({"readme.txt", ATTRIBUTE_ARCHIVE, {1, 2, 3}},
                       reinterpret_cast<const uint8_t*>(text.data()), text.size()) &&
        writer.AddFile({"empty", ATTRIBUTE_ARCHIVE, {}}, nullptr, 0) &&
        writer.AddFile({"b.txt", ATTRIBUTE_READONLY, {4, 5, 6}},
                       reinterpret_cast<const uint8_t*>(small.data()), small.size()) &&
        writer.Finish();
    if (!written) std::abort();
    std::vector<uint8_t> bytes;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(file);
    if (CheckIntegrity(bytes.data(), bytes.size()).verdict != IntegrityVerdict::VERIFIED) {
        std::abort();
    }
    return bytes;
}

uint32_t Take(const uint8_t*& data, size_t& size, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) value |= uint32_t{*data} << (8 * i);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> sealed = SealedPackage();
    std::vector<uint8_t> package = sealed;
    // Each edit: a kind byte, a 16-bit offset, a value byte.
    while (size >= 4) {
        const uint32_t kind = Take(data, size, 1) % 4;
        const size_t at = Take(data, size, 2) % (package.size() + 1);
        const auto value = static_cast<uint8_t>(Take(data, size, 1));
        if (kind == 0 && at < package.size()) {
            package[at] ^= value;
        } else if (kind == 1) {
            package.insert(package.begin() + static_cast<std::ptrdiff_t>(at), value);
        } else if (kind == 2 && at < package.size()) {
            package.erase(package.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (kind == 3) {
            package.resize(at);
        }
    }
    // An exact copy, so that a read past it is a heap overflow the sanitizer reports.
    const std::vector<uint8_t> given(package);
    const IntegrityCheck check = CheckIntegrity(given.data(), given.size());
    // Bytes after the package's declared end are not the package's (an executable's, say).
    const bool intact = given.size() >= sealed.size() &&
                        std::equal(sealed.begin(), sealed.end(), given.begin());
    if (check.verdict == IntegrityVerdict::VERIFIED && !intact) {
        std::fprintf(stderr, "a damaged package passed its integrity check\n");
        std::abort();
    }
    return 0;
}
