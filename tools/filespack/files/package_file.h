// The file a package is written into: made by this run alone, beside the package, and put in
// place only when complete. Whatever else lies beside the package is never opened, written or
// removed: a file under a fixed name could be anyone's, or a link to anything.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

class PackageFile {
  public:
    explicit PackageFile(std::filesystem::path target) : target_(std::move(target)) {}
    // Removes the file, unless it was put in place.
    ~PackageFile();
    PackageFile(const PackageFile&) = delete;
    PackageFile& operator=(const PackageFile&) = delete;

    // A new, empty file open for reading and writing; nullptr with `error` set when none could
    // be made.
    std::FILE* Create(std::string& error);
    // Writes out what is buffered, so that the file can be read under path().
    bool Flush(std::string& error);
    const std::filesystem::path& path() const { return path_; }
    // Closes the file and renames it over the target in one step, so that the target is always
    // one whole package: the old one, or this one.
    bool Keep(std::string& error);

  private:
    bool Close();

    std::filesystem::path target_;
    std::filesystem::path path_;  // empty until made
    std::FILE* file_ = nullptr;
    bool kept_ = false;
};

// Files beside `target` that are an unfinished package for it, left by a run that was killed
// (this version's names, and the one name earlier versions used): never to be packed.
std::vector<std::filesystem::path> UnfinishedPackagesFor(const std::filesystem::path& target);
