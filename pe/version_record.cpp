#include "pe/version_record.h"

#include "package/utf8_text.h"

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint32_t kFileOsNtWindows32 = 0x40004;
constexpr uint32_t kFileTypeApplication = 1;
constexpr uint16_t kJapanese = 0x0411;
constexpr uint16_t kUnicodeCodePage = 1200;

bool ToUtf16(std::string_view utf8, std::u16string& out) {
    out.clear();
    size_t at = 0;
    while (at < utf8.size()) {
        const char32_t c = NextUtf8(utf8, at);
        if (c == NOT_UTF8 || c == 0) return false;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return true;
}

class Writer {
  public:
    std::vector<uint8_t>& bytes() { return out_; }

    void U16(uint32_t v) {
        out_.push_back(static_cast<uint8_t>(v));
        out_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Text(const std::u16string& text) {
        for (char16_t c : text) U16(c);
        U16(0);
    }
    void Align() {
        while (out_.size() % 4 != 0) out_.push_back(0);
    }

    // Opens a block: length (patched by Close), value length, type, key, padding.
    size_t Open(const std::u16string& key, uint32_t value_length, bool text) {
        Align();
        const size_t at = out_.size();
        U16(0);
        U16(value_length);
        U16(text ? 1 : 0);
        Text(key);
        Align();
        return at;
    }
    void Close(size_t at) {
        const size_t length = out_.size() - at;
        out_[at] = static_cast<uint8_t>(length);
        out_[at + 1] = static_cast<uint8_t>(length >> 8);
    }

  private:
    std::vector<uint8_t> out_;
};

uint32_t High(const std::array<uint16_t, 4>& v) { return uint32_t{v[0]} << 16 | v[1]; }
uint32_t Low(const std::array<uint16_t, 4>& v) { return uint32_t{v[2]} << 16 | v[3]; }

}  // namespace

std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(std::string_view text) {
    std::array<uint16_t, 4> numbers{0, 0, 0, 0};
    size_t part = 0;
    size_t at = 0;
    while (true) {
        if (part == 4 || at >= text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
        uint32_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
            if (value > 65535) return std::nullopt;
        }
        numbers[part++] = static_cast<uint16_t>(value);
        if (at == text.size()) return numbers;
        if (text[at++] != '.') return std::nullopt;
    }
}

std::array<uint16_t, 4> VersionNumbersIn(std::string_view text) {
    const size_t start = text.find_first_of("0123456789");
    if (start == std::string_view::npos) return {1, 0, 0, 0};
    size_t end = start;
    int dots = 0;
    while (end < text.size()) {
        const char c = text[end];
        const bool digit = c >= '0' && c <= '9';
        const bool dot = c == '.' && dots < 2 && end + 1 < text.size() && text[end + 1] >= '0' &&
                         text[end + 1] <= '9';
        if (!digit && !dot) break;
        dots += dot ? 1 : 0;
        ++end;
    }
    const auto numbers = ParseVersionNumbers(text.substr(start, end - start));
    return numbers ? *numbers : std::array<uint16_t, 4>{1, 0, 0, 0};
}

bool BuildVersionRecord(const VersionRecord& record, std::vector<uint8_t>& out) {
    Writer w;
    const size_t root = w.Open(u"VS_VERSION_INFO", 52, false);
    w.U32(kFixedSignature);
    w.U32(kFixedStructVersion);
    w.U32(High(record.file_version));
    w.U32(Low(record.file_version));
    w.U32(High(record.product_version));
    w.U32(Low(record.product_version));
    w.U32(0x3F);  // flags mask
    w.U32(0);     // flags: none (a release build)
    w.U32(kFileOsNtWindows32);
    w.U32(kFileTypeApplication);
    w.U32(0);  // subtype
    w.U32(0);  // date, high
    w.U32(0);  // date, low

    const size_t file_info = w.Open(u"StringFileInfo", 0, true);
    const size_t table = w.Open(u"041104B0", 0, true);
    for (const auto& [key, value] : record.strings) {
        std::u16string key16;
        std::u16string value16;
        if (!ToUtf16(key, key16) || !ToUtf16(value, value16)) return false;
        const size_t entry = w.Open(key16, static_cast<uint32_t>(value16.size() + 1), true);
        w.Text(value16);
        w.Close(entry);
    }
    w.Close(table);
    w.Close(file_info);

    const size_t var_info = w.Open(u"VarFileInfo", 0, true);
    const size_t translation = w.Open(u"Translation", 4, false);
    w.U16(kJapanese);
    w.U16(kUnicodeCodePage);
    w.Close(translation);
    w.Close(var_info);
    w.Close(root);
    out = std::move(w.bytes());
    return out.size() <= 0xFFFF;
}
