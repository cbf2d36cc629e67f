#include "tools/filespack/input_files.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "package/name_encoding.h"
#include "tools/filespack/file_metadata.h"
#include "tools/filespack/file_names.h"

namespace {

constexpr size_t kMaxNameBytes = 255;

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

    bool AddNamed(const std::filesystem::path& path) {
        FileMetadata metadata;
        if (!Examine(path, metadata)) return false;
        if (metadata.kind == FileKind::kDirectory) return AddFolder(path);
        return AddFile(path, metadata);
    }

    InputSet Finish() {
        set_.ok = set_.error.empty();
        return std::move(set_);
    }

  private:
    bool Fail(std::string why) {
        set_.error = std::move(why);
        return false;
    }

    bool Examine(const std::filesystem::path& path, FileMetadata& metadata) {
        std::string why;
        if (!ReadFileMetadata(path, metadata, why)) {
            return Fail(PathToUtf8(path) + ": " + why);
        }
        return true;
    }

    bool Excluded(const std::filesystem::path& path) const {
        for (const auto& excluded : options_.excluded) {
            if (SameFile(path, excluded)) return true;
        }
        return false;
    }

    bool AddFolder(const std::filesystem::path& folder) {
        std::error_code ec;
        std::vector<std::pair<std::string, std::filesystem::path>> children;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            children.emplace_back(PathToUtf8(it->path().filename()), it->path());
        }
        if (ec) return Fail(PathToUtf8(folder) + ": cannot read the folder: " + ec.message());
        std::sort(children.begin(), children.end());
        for (const auto& [name, path] : children) {
            if (Excluded(path)) continue;
            FileMetadata metadata;
            if (!Examine(path, metadata)) return false;
            if (metadata.kind == FileKind::kDirectory) {
                if (!options_.skip_subfolders) {
                    return Fail(PathToUtf8(path) +
                                ": is a subfolder; a package holds no folders (leave "
                                "subfolders out with --skip-subfolders)");
                }
                set_.skipped.push_back(PathToUtf8(path));
                continue;
            }
            if (!AddFile(path, metadata)) return false;
        }
        return true;
    }

    bool AddFile(const std::filesystem::path& path, const FileMetadata& metadata) {
        const std::string shown = PathToUtf8(path);
        if (metadata.kind != FileKind::kRegular) {
            return Fail(shown + ": not a regular file");
        }
        if (Excluded(path)) {
            return Fail(shown + ": is the package being written");
        }
        const std::string name = PathToUtf8(path.filename());
        if (const std::string problem = WindowsNameProblem(name); !problem.empty()) {
            return Fail(shown + ": " + problem);
        }
        InputFile file;
        if (!Utf8ToShiftJis(name, file.name_sjis)) {
            return Fail(shown + ": the name \"" + name +
                        "\" has no Shift-JIS form (code page 932), so Windows could not "
                        "create it from a package");
        }
        if (file.name_sjis.size() > kMaxNameBytes) {
            return Fail(shown + ": the name is " + std::to_string(file.name_sjis.size()) +
                        " bytes in Shift-JIS; a package allows at most 255");
        }
        const std::string key = FoldCaseAscii(name);
        if (const auto seen = names_.find(key); seen != names_.end()) {
            return Fail(shown + ": the name is already taken by " + seen->second +
                        " (Windows does not tell names apart by case)");
        }
        names_.emplace(key, shown);
        file.path = path;
        file.shown = shown;
        file.size = metadata.size;
        file.attributes = metadata.attributes;
        file.times = metadata.times;
        if (options_.fixed_time) {
            file.times = {*options_.fixed_time, *options_.fixed_time, *options_.fixed_time};
        }
        set_.files.push_back(std::move(file));
        return true;
    }

    const InputOptions& options_;
    InputSet set_;
    std::map<std::string, std::string> names_;  // folded name -> the path that took it
};

}  // namespace

InputSet CollectInputs(const std::vector<std::filesystem::path>& inputs,
                       const InputOptions& options) {
    Collector collector(options);
    for (const auto& input : inputs) {
        if (!collector.AddNamed(input)) break;
    }
    return collector.Finish();
}
