#include <windows.h>

#include <stdexcept>

#include "package/window_progress.h"
#include "test_support.h"

// Names and paths go through the W functions, converted here with code page 932 and UTF-8
// explicitly: the A functions would read them with whatever code page the system runs under, and
// a test could then not tell the engine's own conversion from the system's.
namespace {

constexpr UINT SHIFT_JIS = 932;

std::wstring ToWide(UINT code_page, const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) throw std::runtime_error("text without a UTF-16 form");
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                        static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// What code page 932 cannot spell comes out as '?', which no test expects in a name.
std::string FromWide(UINT code_page, const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return "?";
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

FileTime ToFileTime(const FILETIME& time) {
    return static_cast<FileTime>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// `folder` in UTF-16; the names in Shift-JIS, as the tests write them.
std::vector<std::string> List(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(FromWide(SHIFT_JIS, name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void RemoveAllIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& name : names) {
        const std::wstring path = folder + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str())) {
            RemoveAllIn(path);
            RemoveDirectoryW(path.c_str());
        }
    }
}

int scratch_counter = 0;

}  // namespace

std::wstring WidePath(const std::string& utf8) {
    return ToWide(CP_UTF8, utf8);
}

// The folders are kept in UTF-8, the form Extract takes, whatever the system's code page.
ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathW");
    std::wstring base(temp, length);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (;;) {
        const std::wstring root = base + L"\\package-test-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++scratch_counter);
        if (CreateDirectoryW(root.c_str(), nullptr)) {
            root_ = FromWide(CP_UTF8, root);
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("CreateDirectoryW");
    }
    dest_ = root_ + "\\dest";
    if (!CreateDirectoryW(WidePath(dest_).c_str(), nullptr)) {
        throw std::runtime_error("CreateDirectoryW");
    }
}

ScratchFolder::~ScratchFolder() {
    const std::wstring root = WidePath(root_);
    RemoveAllIn(root);
    RemoveDirectoryW(root.c_str());
}

namespace {

std::wstring InDest(const std::string& dest, const std::string& sjis_name) {
    return WidePath(dest) + L"\\" + ToWide(SHIFT_JIS, sjis_name);
}

}  // namespace

FileFacts ScratchFolder::Facts(const std::string& sjis_name) const {
    FileFacts facts;
    const std::wstring path = InDest(dest_, sjis_name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return facts;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return facts;
    facts.exists = true;
    facts.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.creation = ToFileTime(data.ftCreationTime);
    facts.last_access = ToFileTime(data.ftLastAccessTime);
    facts.last_write = ToFileTime(data.ftLastWriteTime);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
    return List(WidePath(dest_));
}
std::vector<std::string> ScratchFolder::RootEntries() const {
    return List(WidePath(root_));
}

void ScratchFolder::PutFile(const std::string& sjis_name, const std::string& bytes) const {
    const HANDLE file = CreateFileW(InDest(dest_, sjis_name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void ScratchFolder::Empty() const {
    RemoveAllIn(WidePath(dest_));
}

FileHandle ScratchFolder::OpenForReading(const std::string& sjis_name) const {
    const HANDLE file = CreateFileW(InDest(dest_, sjis_name).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<FileHandle>(file);
}

bool SystemKeepsCreationTimes() {
    static const bool keeps = [] {
        const ScratchFolder probe;
        const HANDLE file = CreateFileW(InDest(probe.dest(), "probe").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
