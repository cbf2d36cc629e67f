#include <windows.h>

#include <stdexcept>

#include "package/window_progress.h"
#include "test_support.h"

namespace {

FileTime ToFileTime(const FILETIME& time) {
    return static_cast<FileTime>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void RemoveAllIn(const std::string& folder) {
    for (const std::string& name : List(folder)) {
        const std::string path = folder + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str())) {
            RemoveAllIn(path);
            RemoveDirectoryA(path.c_str());
        }
    }
}

int scratch_counter = 0;

}  // namespace

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH];
    if (GetTempPathA(MAX_PATH, temp) == 0) throw std::runtime_error("GetTempPathA");
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    for (;;) {
        root_ = base + "\\package-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++scratch_counter);
        if (CreateDirectoryA(root_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("CreateDirectoryA");
    }
    dest_ = root_ + "\\dest";
    if (!CreateDirectoryA(dest_.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryA");
}

ScratchFolder::~ScratchFolder() {
    RemoveAllIn(root_);
    RemoveDirectoryA(root_.c_str());
}

FileFacts ScratchFolder::Facts(const std::string& sjis_name) const {
    FileFacts facts;
    const std::string path = dest_ + "\\" + sjis_name;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return facts;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return facts;
    facts.exists = true;
    facts.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.creation = ToFileTime(data.ftCreationTime);
    facts.last_access = ToFileTime(data.ftLastAccessTime);
    facts.last_write = ToFileTime(data.ftLastWriteTime);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return facts;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        facts.bytes.append(chunk, got);
    CloseHandle(file);
    return facts;
}

std::vector<std::string> ScratchFolder::DestEntries() const {
    return List(dest_);
}
std::vector<std::string> ScratchFolder::RootEntries() const {
    return List(root_);
}

void ScratchFolder::PutFile(const std::string& sjis_name, const std::string& bytes) const {
    const std::string path = dest_ + "\\" + sjis_name;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileA");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void ScratchFolder::Empty() const {
    RemoveAllIn(dest_);
}

FileHandle ScratchFolder::OpenForReading(const std::string& sjis_name) const {
    const HANDLE file =
        CreateFileA((dest_ + "\\" + sjis_name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<FileHandle>(file);
}

bool SystemKeepsCreationTimes() {
    static const bool keeps = [] {
        const ScratchFolder probe;
        const std::string path = probe.dest() + "\\probe";
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        FILETIME creation{0x12345670u, 0x01C00000u};
        SetFileTime(file, &creation, nullptr, nullptr);
        CloseHandle(file);
        return probe.Facts("probe").creation == (FileTime{0x01C00000u} << 32 | 0x12345670u);
    }();
    return keeps;
}

struct ProgressRecorder::Impl {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    WindowProgress to_window{window};  // posts, as the program's progress window receives them
};

ProgressRecorder::ProgressRecorder() : impl_(new Impl) {
    if (impl_->window == nullptr) throw std::runtime_error("CreateWindowExA");
}

ProgressRecorder::~ProgressRecorder() {
    DestroyWindow(impl_->window);
    delete impl_;
}

ProgressListener* ProgressRecorder::target() {
    return &impl_->to_window;
}

std::vector<ProgressPost> ProgressRecorder::Collect() {
    std::vector<ProgressPost> posts;
    MSG msg;
    while (PeekMessageA(&msg, impl_->window, 0, 0, PM_REMOVE)) {
        if (msg.message < WM_USER) continue;
        posts.push_back(
            {msg.message, static_cast<int64_t>(msg.wParam), static_cast<int64_t>(msg.lParam)});
    }
    return posts;
}
