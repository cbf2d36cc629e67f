#include "tools/filespack/files/file_names.h"

#include "package/name_rules.h"
#include "tools/filespack/output/text_format.h"

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

std::string DisplayPath(const std::filesystem::path& path) {
    const std::string utf8 = PathToUtf8(path);
#ifdef _WIN32
    std::string shown;
    for (size_t start = 0;;) {
        const size_t end = utf8.find('\\', start);
        shown += EscapeForTerminal(std::string_view(utf8).substr(start, end - start));
        if (end == std::string::npos) return shown;
        shown += '\\';
        start = end + 1;
    }
#else
    return EscapeForTerminal(utf8);
#endif
}

std::string WindowsNameProblem(std::string_view name) {
    return DescribeNameProblem(Utf8NameProblem(name, NameLevel::portable));
}
