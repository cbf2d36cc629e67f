#include "package/name_tree.h"

#include "package/entry_name.h"
#include "package/name_case.h"

NameTree::Verdict NameTree::Add(std::string_view utf8, const std::string& shown) {
    // Folders first: a clash there names the folder, which is what a vendor must rename.
    for (size_t end = EntryPartEnd(utf8, 0, HasNoLeadBytes); end < utf8.size();
         end = EntryPartEnd(utf8, end + 1, HasNoLeadBytes)) {
        const std::string_view folder = utf8.substr(0, end);
        const auto [place, fresh] =
            places_.emplace(FoldNameCase(folder), Place{true, std::string(folder), shown});
        if (fresh) continue;
        if (!place->second.folder) return {Clash::file_and_folder, place->second.shown};
        if (place->second.spelling != folder) {
            return {Clash::folder_spelled_twice, place->second.shown};
        }
    }
    const auto [place, fresh] = places_.emplace(FoldNameCase(utf8), Place{false, {}, shown});
    if (fresh) return {};
    if (place->second.folder) return {Clash::file_and_folder, place->second.shown};
    return {Clash::same_file, place->second.shown};
}

std::string DescribeClash(NameTree::Clash clash) {
    switch (clash) {
        case NameTree::Clash::none:
            return "";
        case NameTree::Clash::same_file:
            return "are one file to Windows, which does not tell names apart by case";
        case NameTree::Clash::file_and_folder:
            return "make one name both a file and a folder, which Windows does not allow (it "
                   "does not tell names apart by case)";
        case NameTree::Clash::folder_spelled_twice:
            return "spell one folder two ways, which Windows, not telling names apart by case, "
                   "would merge into one";
    }
    return "";
}
