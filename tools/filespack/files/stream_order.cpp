#include "tools/filespack/files/stream_order.h"

#include <algorithm>

#include "package/ascii_case.h"
#include "tools/filespack/files/file_names.h"

std::string StreamKind(const std::string& leaf) {
    const size_t dot = leaf.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return AsciiUppercase(std::string_view(leaf).substr(dot + 1));
}

void OrderForStream(std::vector<InputFile>& files) {
    std::vector<std::pair<std::string, InputFile>> keyed;
    keyed.reserve(files.size());
    for (auto& file : files) {
        keyed.emplace_back(StreamKind(PathToUtf8(file.path.filename())), std::move(file));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < files.size(); ++i) files[i] = std::move(keyed[i].second);
}
