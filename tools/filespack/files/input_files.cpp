#include "tools/filespack/files/input_files.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "package/name_case.h"
#include "package/name_encoding.h"
#include "package/name_rules.h"
#include "tools/filespack/files/file_metadata.h"
#include "tools/filespack/files/file_names.h"

namespace {

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

class Collector {
  public:
    explicit Collector(const InputOptions& options) : options_(options) {}

    void AddNamed(const std::filesystem::path& path) {
        FileMetadata metadata;
        if (!Examine(path, metadata)) return;
        if (metadata.kind == FileKind::kDirectory) return AddFolder(path);
        AddFile(path, metadata);
    }

    InputSet Finish() {
        set_.ok = set_.problems.empty();
        for (const auto& problem : set_.problems) {
            if (!set_.error.empty()) set_.error += "\nfilespack: ";
            set_.error += problem;
        }
        return std::move(set_);
    }

  private:
    void Fail(std::string why) { set_.problems.push_back(std::move(why)); }

    bool Examine(const std::filesystem::path& path, FileMetadata& metadata) {
        std::string why;
        if (ReadFileMetadata(path, metadata, why)) return true;
        Fail(DisplayPath(path) + ": " + why);
        return false;
    }

    bool Excluded(const std::filesystem::path& path) const {
        for (const auto& excluded : options_.excluded) {
            if (SameFile(path, excluded)) return true;
        }
        return false;
    }

    void AddFolder(const std::filesystem::path& folder) {
        std::error_code ec;
        std::vector<std::pair<std::string, std::filesystem::path>> children;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            children.emplace_back(PathToUtf8(it->path().filename()), it->path());
        }
        if (ec) return Fail(DisplayPath(folder) + ": cannot read the folder: " + ec.message());
        std::sort(children.begin(), children.end());
        for (const auto& [name, path] : children) {
            if (Excluded(path)) continue;
            FileMetadata metadata;
            if (!Examine(path, metadata)) continue;
            if (metadata.kind != FileKind::kDirectory) {
                AddFile(path, metadata);
            } else if (!options_.skip_subfolders) {
                Fail(DisplayPath(path) +
                     ": is a subfolder; a package holds no folders (leave subfolders out with "
                     "--skip-subfolders)");
            } else {
                set_.skipped.push_back(DisplayPath(path));
            }
        }
    }

    void AddFile(const std::filesystem::path& path, const FileMetadata& metadata) {
        const std::string shown = DisplayPath(path);
        if (metadata.kind != FileKind::kRegular) return Fail(shown + ": not a regular file");
        if (Excluded(path)) return Fail(shown + ": is the package being written");
        const std::string name = PathToUtf8(path.filename());
        if (const NameProblem problem = Utf8NameProblem(name, NameLevel::portable)) {
            return Fail(shown + ": " + DescribeNameProblem(problem));
        }
        const auto [taken, fresh] = names_.emplace(FoldNameCase(name), shown);
        if (!fresh) {
            return Fail(shown + ": the name is already taken by " + taken->second +
                        " (Windows does not tell names apart by case)");
        }
        InputFile file;
        Utf8ToShiftJis(name, file.name_sjis);  // the rules above have converted it already
        file.path = path;
        file.shown = shown;
        file.size = metadata.size;
        file.attributes = metadata.attributes;
        file.times = metadata.times;
        if (options_.fixed_time) {
            file.times = {*options_.fixed_time, *options_.fixed_time, *options_.fixed_time};
        }
        set_.files.push_back(std::move(file));
    }

    const InputOptions& options_;
    InputSet set_;
    std::map<std::string, std::string> names_;  // name as Windows compares it -> who took it
};

}  // namespace

InputSet CollectInputs(const std::vector<std::filesystem::path>& inputs,
                       const InputOptions& options) {
    Collector collector(options);
    for (const auto& input : inputs) collector.AddNamed(input);
    return collector.Finish();
}
