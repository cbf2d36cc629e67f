#include "pe/pe_resources.h"

#include <algorithm>

#include "package/ascii_case.h"
#include "package/utf8_text.h"
#include "pe/pe_image.h"

namespace {

// Resource names are UTF-16 in the file; unpaired surrogates become U+FFFD.
std::string Utf8Of(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) {
            const char32_t low = text[i + 1];
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (unit >= 0xD800 && unit < 0xE000) ? char32_t{0xFFFD} : unit);
    }
    return out;
}

PeResourceScan Fail(std::string why) {
    PeResourceScan scan;
    scan.error = std::move(why);
    return scan;
}

}  // namespace

bool LooksLikeExecutable(std::span<const uint8_t> image) {
    return image.size() >= 2 && image[0] == 'M' && image[1] == 'Z';
}

// Read as the stamping reads it (PeImage), so that what `exe` writes and what the tool finds
// again are judged by one set of checks.
PeResourceScan FindPeResources(std::span<const uint8_t> image, std::string_view type_name) {
    if (!LooksLikeExecutable(image)) return Fail("not an executable (no MZ header)");
    PeImage pe;
    std::string error;
    if (!pe.Parse(image, error)) return Fail(error);
    const std::optional<std::vector<Resource>> all = pe.Resources(error);
    if (!all) return Fail(error);
    PeResourceScan scan;
    const Resource* previous = nullptr;
    for (const Resource& r : *all) {
        if (!r.type.named() || !EqualsIgnoringAsciiCase(Utf8Of(r.type.name), type_name)) continue;
        // The tree lists a name's languages one after another; the first one stands for it.
        const bool same_name =
            previous != nullptr && previous->type == r.type && previous->name == r.name;
        previous = &r;
        if (same_name) continue;
        PeResource found;
        found.name = r.name.named() ? Utf8Of(r.name.name) : "#" + std::to_string(r.name.id);
        found.offset = static_cast<uint64_t>(r.bytes.data() - image.data());
        found.size = static_cast<uint32_t>(r.bytes.size());
        scan.resources.push_back(std::move(found));
    }
    scan.ok = true;
    return scan;
}

bool ResourceNameMatches(const PeResource& resource, std::string_view wanted) {
    if (EqualsIgnoringAsciiCase(resource.name, wanted)) return true;
    // A bare number names a numbered resource too, as "#N" does.
    if (!wanted.empty() && resource.name.starts_with('#') &&
        std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::string_view digits = wanted;
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        return resource.name.substr(1) == digits;
    }
    return false;
}
