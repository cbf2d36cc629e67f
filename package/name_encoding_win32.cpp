// Name conversion through the system's own tables for code page 932, with no best fit.
#include <windows.h>

#include <string>
#include <string_view>

#include "package/entry_name.h"
#include "package/name_encoding.h"
#include "win/wide_text.h"

namespace {

bool ToWide(UINT code_page, std::string_view in, std::wstring& out) {
    return code_page == CP_UTF8 ? Utf8ToWide(in, out) : ShiftJisToWide(in, out);
}

bool FromWide(UINT code_page, const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    const int in_size = static_cast<int>(in.size());
    // UTF-8 takes neither flag nor default-character pointer.
    const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* used_default_ptr = code_page == CP_UTF8 ? nullptr : &used_default;
    const int size = WideCharToMultiByte(code_page, flags, in.data(), in_size, nullptr, 0, nullptr,
                                         used_default_ptr);
    if (size <= 0 || used_default) return false;
    out.resize(static_cast<size_t>(size));
    return WideCharToMultiByte(code_page, flags, in.data(), in_size, out.data(), size, nullptr,
                               used_default_ptr) == size &&
           !used_default;
}

// Windows gives five single bytes that the published code page 932 table leaves undefined a
// character each (0x80 as U+0080, 0xA0 and 0xFD to 0xFF as private-use characters); iconv's
// CP932, which the other engines use, refuses them. Refused here too, so that every engine
// accepts the same names.
bool HasVendorSingleByte(std::string_view shift_jis) {
    for (size_t at = 0; at < shift_jis.size(); ++at) {
        const auto byte = static_cast<uint8_t>(shift_jis[at]);
        if (IsShiftJisLeadByte(byte)) {
            ++at;
            continue;
        }
        if (byte == 0x80 || byte == 0xA0 || byte >= 0xFD) return true;
    }
    return false;
}

bool Convert(UINT from, UINT to, std::string_view in, std::string& out) {
    std::wstring wide;
    return ToWide(from, in, wide) && FromWide(to, wide, out);
}

// Exact only when converting back gives the very bytes we started from (duplicate codes).
bool ConvertExactly(UINT from, UINT to, std::string_view in, std::string& out) {
    std::string there;
    std::string back;
    if (!Convert(from, to, in, there) || !Convert(to, from, there, back)) return false;
    if (back != in) return false;
    if (HasVendorSingleByte(from == CP_UTF8 ? std::string_view(there) : in)) return false;
    out = std::move(there);
    return true;
}

}  // namespace

bool ShiftJisToUtf8(std::string_view shift_jis, std::string& utf8) {
    return ConvertExactly(SHIFT_JIS_CODE_PAGE, CP_UTF8, shift_jis, utf8);
}

bool Utf8ToShiftJis(std::string_view utf8, std::string& shift_jis) {
    return ConvertExactly(CP_UTF8, SHIFT_JIS_CODE_PAGE, utf8, shift_jis);
}
