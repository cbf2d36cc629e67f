#include "tools/filespack/file_names.h"

#include <array>

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wide_mode;
    for (const char* p = mode; *p; ++p) wide_mode += static_cast<wchar_t>(*p);
    return _wfopen(path.c_str(), wide_mode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

namespace {

// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + string + "\"".
std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

}  // namespace

std::string WindowsNameProblem(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return Quoted(name) + " is not a file name";
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20) return "the name holds a control character";
        switch (c) {
            case '\\':
            case '/':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|':
                return std::string("the name holds the character ") + ch +
                       ", which Windows does not allow in file names";
            default:
                break;
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return "the name ends in a dot or a space, which Windows drops";
    }
    const std::string base = FoldCaseAscii(name.substr(0, name.find('.')));
    static constexpr std::array<std::string_view, 4> kDevices = {"con", "prn", "aux", "nul"};
    bool device = false;
    for (std::string_view d : kDevices) device = device || base == d;
    if (base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
        base[3] >= '1' && base[3] <= '9') {
        device = true;
    }
    if (device) return Quoted(base) + " is a Windows device name";
    return "";
}

std::string FoldCaseAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}
