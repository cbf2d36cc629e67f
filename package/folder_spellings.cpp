#include "package/folder_spellings.h"

#include <string>
#include <string_view>

#include "package/little_endian.h"
#include "package/name_encoding.h"
#include "package/name_rules.h"
#include "package/name_tree.h"
#include "package/package_format.h"

namespace {

// Walks entry heads and chunk lengths only; nothing is decoded.
class EntryWalk {
  public:
    EntryWalk(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

    // The next entry's stored name; false at the end byte or where the bytes run out. An entry
    // whose chunks are cut short still counts: its file is made before the cut is seen.
    bool Next(std::string_view& name) {
        if (ended_ || !Has(1)) return false;
        const size_t name_length = bytes_[at_++];
        if (name_length == 0 || !Has(name_length + 4 + ENTRY_UNIT_SIZE)) return false;
        name = std::string_view(reinterpret_cast<const char*>(bytes_ + at_), name_length);
        at_ += name_length + 4 + ENTRY_UNIT_SIZE;
        ended_ = !SkipChunks();
        return true;
    }

  private:
    bool Has(size_t count) const { return count <= length_ - at_; }

    bool SkipChunks() {
        for (;;) {
            if (!Has(4)) return false;
            const int32_t chunk = LoadI32(bytes_ + at_);
            at_ += 4;
            if (chunk <= 0) return true;
            if (!Has(static_cast<size_t>(chunk))) return false;
            at_ += static_cast<size_t>(chunk);
        }
    }

    const uint8_t* bytes_;
    size_t length_;
    size_t at_ = 0;
    bool ended_ = false;
};

}  // namespace

bool SpellsAFolderTwoWays(const uint8_t* entries, size_t length) {
    EntryWalk walk(entries, length);
    NameTree tree;
    std::string_view name;
    std::string utf8;
    while (walk.Next(name)) {
        if (StoredNameProblem(name, NameLevel::engine)) continue;
        if (!ShiftJisToUtf8(name, utf8)) continue;
        if (tree.Add(utf8, {}).clash == NameTree::Clash::folder_spelled_twice) return true;
    }
    return false;
}
