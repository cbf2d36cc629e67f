#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "package/name_encoding.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

FileTime ToFileTime(const timespec& time) {
    return static_cast<FileTime>(time.tv_sec) * 10000000ULL + FILETIME_UNIX_EPOCH +
           static_cast<FileTime>(time.tv_nsec / 100);
}

std::string NativeName(const std::string& sjis_name) {
    std::string utf8;
    if (!ShiftJisToUtf8(sjis_name, utf8)) throw std::runtime_error("name has no UTF-8 form");
    for (char& c : utf8) {
        if (c == '\\') c = '/';  // decoded, every backslash left separates folders
    }
    return utf8;
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

}  // namespace

ScratchFolder::ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/package-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    dest_ = root_ + "/dest";
    fs::create_directory(dest_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

FileFacts ScratchFolder::Facts(const std::string& sjis_name) const {
    FileFacts facts;
    const std::string path = dest_ + "/" + NativeName(sjis_name);
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return facts;
    facts.exists = true;
    std::ifstream in(path, std::ios::binary);
    facts.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    facts.read_only = (status.st_mode & 0222) == 0;
    facts.last_access = ToFileTime(status.st_atim);
    facts.last_write = ToFileTime(status.st_mtim);
    return facts;
}

std::vector<std::string> ScratchFolder::DestEntries() const {
    return List(dest_);
}
std::vector<std::string> ScratchFolder::RootEntries() const {
    return List(root_);
}

void ScratchFolder::PutFile(const std::string& sjis_name, const std::string& bytes) const {
    std::ofstream out(dest_ + "/" + NativeName(sjis_name), std::ios::binary);
    out << bytes;
}

void ScratchFolder::Empty() const {
    for (const auto& entry : fs::directory_iterator(dest_)) fs::remove_all(entry.path());
}

FileHandle ScratchFolder::OpenForReading(const std::string& sjis_name) const {
    return open((dest_ + "/" + NativeName(sjis_name)).c_str(), O_RDONLY | O_CLOEXEC);
}

bool SystemKeepsCreationTimes() {
    return false;
}

struct ProgressRecorder::Impl final : ProgressListener {
    virtual ~Impl() = default;
    void OnProgress(uint32_t message, int64_t done, int64_t total) override {
        posts.push_back({message, done, total});
    }
    std::vector<ProgressPost> posts;
};

ProgressRecorder::ProgressRecorder() : impl_(new Impl) {}
ProgressRecorder::~ProgressRecorder() {
    delete impl_;
}
ProgressListener* ProgressRecorder::target() {
    return impl_;
}

std::vector<ProgressPost> ProgressRecorder::Collect() {
    std::vector<ProgressPost> posts;
    posts.swap(impl_->posts);
    return posts;
}
