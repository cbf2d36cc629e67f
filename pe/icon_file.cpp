#include "pe/icon_file.h"

#include "package/little_endian.h"

namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;

uint32_t Load16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at] | (b[at + 1] << 8));
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

bool SplitIconFile(std::span<const uint8_t> ico, uint16_t first_id, IconResources& out,
                   std::string& error) {
    if (ico.size() < kHeaderSize || Load16(ico, 0) != 0 || Load16(ico, 2) != 1) {
        error = "not an icon file (no .ico header)";
        return false;
    }
    const size_t count = Load16(ico, 4);
    if (count == 0 || ico.size() < kHeaderSize + count * kFileEntrySize) {
        error = "not an icon file (its image list is empty or cut short)";
        return false;
    }
    out = {};
    Put16(out.group, 0);
    Put16(out.group, 1);
    Put16(out.group, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const size_t e = kHeaderSize + i * kFileEntrySize;
        const uint32_t size = LoadU32(ico.data() + e + 8);
        const uint32_t offset = LoadU32(ico.data() + e + 12);
        if (size == 0 || offset > ico.size() || size > ico.size() - offset) {
            error = "not an icon file (image " + std::to_string(i + 1) + " lies outside it)";
            return false;
        }
        out.images.push_back(ico.subspan(offset, size));
        // The group's entry is the file's with the image's resource id in place of its offset.
        out.group.insert(out.group.end(), ico.begin() + static_cast<ptrdiff_t>(e),
                         ico.begin() + static_cast<ptrdiff_t>(e + 12));
        Put16(out.group, static_cast<uint32_t>(first_id + i));
    }
    return true;
}
