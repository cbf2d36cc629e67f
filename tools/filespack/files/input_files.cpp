#include "tools/filespack/files/input_files.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "package/entry_name.h"
#include "package/name_encoding.h"
#include "package/name_rules.h"
#include "package/name_tree.h"
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
        if (metadata.kind == FileKind::kDirectory) return AddFolder(path, {});
        AddFile(path, metadata, {});
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

    // `inside`: the folders between the named folder and this one, as stored (UTF-8).
    void AddFolder(const std::filesystem::path& folder, const std::vector<std::string>& inside) {
        std::error_code ec;
        std::vector<std::pair<std::string, std::filesystem::path>> children;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            children.emplace_back(PathToUtf8(it->path().filename()), it->path());
        }
        if (ec) return Fail(DisplayPath(folder) + ": cannot read the folder: " + ec.message());
        std::sort(children.begin(), children.end());
        std::vector<std::pair<std::string, std::filesystem::path>> subfolders;
        for (const auto& [name, path] : children) {
            if (Excluded(path)) continue;
            FileMetadata metadata;
            if (!Examine(path, metadata)) continue;
            if (metadata.kind != FileKind::kDirectory) {
                AddFile(path, metadata, inside);
            } else if (options_.recursive && !options_.skip_subfolders) {
                subfolders.emplace_back(name, path);
            } else if (!options_.skip_subfolders) {
                Fail(DisplayPath(path) +
                     ": is a subfolder; pack the folders too with -r (a package with folders "
                     "needs a reader that knows them), or leave subfolders out with "
                     "--skip-subfolders");
            } else {
                set_.skipped.push_back(DisplayPath(path));
            }
        }
        walked_.push_back(folder);
        for (const auto& [name, path] : subfolders) {
            if (!EnterableFolder(name, path, inside.size())) continue;
            std::vector<std::string> deeper = inside;
            deeper.push_back(name);
            AddFolder(path, deeper);
        }
        walked_.pop_back();
    }

    bool EnterableFolder(const std::string& name, const std::filesystem::path& path,
                         size_t depth) {
        const std::string shown = DisplayPath(path);
        if (const NameProblem problem = Utf8NameProblem(name, NameLevel::portable)) {
            Fail(shown + ": " + DescribeNameProblem(problem));
            return false;
        }
        // Its files would be its parts and one more deep.
        if (depth + 2 > MAX_NAME_PARTS) {
            Fail(shown + ": folders nest deeper than a package allows (" +
                 std::to_string(MAX_NAME_PARTS) + " parts, the file's name included)");
            return false;
        }
        // A link back up would make the walk endless.
        for (const auto& above : walked_) {
            if (SameFile(path, above)) {
                Fail(shown + ": leads back to " + DisplayPath(above) + ", a folder above it");
                return false;
            }
        }
        return true;
    }

    void AddFile(const std::filesystem::path& path, const FileMetadata& metadata,
                 const std::vector<std::string>& inside) {
        const std::string shown = DisplayPath(path);
        if (metadata.kind != FileKind::kRegular) return Fail(shown + ": not a regular file");
        if (Excluded(path)) return Fail(shown + ": is the package being written");
        const std::string leaf = PathToUtf8(path.filename());
        if (const NameProblem problem = Utf8NameProblem(leaf, NameLevel::portable)) {
            return Fail(shown + ": " + DescribeNameProblem(problem));
        }
        std::string name;
        for (const auto& folder : inside) name += folder + "\\";
        name += leaf;
        InputFile file;
        Utf8ToShiftJis(name, file.name_sjis);  // the rules have converted every part already
        if (const NameProblem problem = StoredNameProblem(file.name_sjis, NameLevel::portable)) {
            return Fail(shown + ": " + DescribeNameProblem(problem));
        }
        if (const NameTree::Verdict clash = names_.Add(name, shown)) {
            if (clash.clash == NameTree::Clash::same_file) {
                return Fail(shown + ": the name is already taken by " + clash.other +
                            " (Windows does not tell names apart by case)");
            }
            return Fail(shown + " and " + clash.other + " " + DescribeClash(clash.clash));
        }
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
    NameTree names_;
    std::vector<std::filesystem::path> walked_;  // the folders the walk is inside
};

}  // namespace

InputSet CollectInputs(const std::vector<std::filesystem::path>& inputs,
                       const InputOptions& options) {
    Collector collector(options);
    for (const auto& input : inputs) collector.AddNamed(input);
    return collector.Finish();
}
