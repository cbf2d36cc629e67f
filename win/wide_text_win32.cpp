#include <windows.h>

#include "win/extended_path.h"
#include "win/wide_text.h"

namespace {

bool ToWide(UINT code_page, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    const int in_size = static_cast<int>(in.size());
    const int size =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), in_size, nullptr, 0);
    if (size <= 0) return false;
    out.resize(static_cast<size_t>(size));
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), in_size, out.data(),
                               size) == size;
}

}  // namespace

bool Utf8ToWide(std::string_view utf8, std::wstring& wide) {
    return ToWide(CP_UTF8, utf8, wide);
}

bool ShiftJisToWide(std::string_view shift_jis, std::wstring& wide) {
    return ToWide(SHIFT_JIS_CODE_PAGE, shift_jis, wide);
}

std::string WideToUtf8(std::wstring_view wide) {
    std::string out;
    if (wide.empty()) return out;
    const int in_size = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_size, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return out;
    out.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_size, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring WideFromUtf8(std::string_view utf8) {
    std::wstring wide;
    Utf8ToWide(utf8, wide);
    return wide;
}

std::wstring WideFromShiftJis(std::string_view shift_jis) {
    std::wstring wide;
    ShiftJisToWide(shift_jis, wide);
    return wide;
}

std::wstring WideFromShiftJisWith(std::string_view shift_jis_format, std::string_view utf8) {
    std::wstring text = WideFromShiftJis(shift_jis_format);
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, WideFromUtf8(utf8));
    return text;
}

std::string Utf8FromShiftJis(std::string_view shift_jis) {
    return WideToUtf8(WideFromShiftJis(shift_jis));
}

bool FileSystemPath(std::string_view utf8, std::wstring& path) {
    std::wstring wide;
    return Utf8ToWide(utf8, wide) && FileSystemPath(wide, path);
}

bool FullPath(const std::wstring& wide, std::wstring& full) {
    if (wide.empty()) return false;
    // Asked for the size first: the normalised path may be longer or shorter than the input.
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return false;
    full.assign(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return false;
    full.resize(length);
    return true;
}

bool FileSystemPath(const std::wstring& wide, std::wstring& path) {
    std::wstring full;
    if (!FullPath(wide, full)) return false;
    path = ExtendedLengthPath(std::wstring_view(full));
    return true;
}
