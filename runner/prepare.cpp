// Preparation: the confirmation, the mode and a freshly created destination folder.
#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "resources/identity_rules.h"
#include "resources/resource_ids.h"
#include "runner/path_text.h"
#include "runner/system_folders.h"
#include "runner/system_library.h"
#include "runner/unpack_app.h"
#include "ui/confirm_dialog.h"
#include "win/wide_text.h"

namespace {

// Caption of the folder-retry box: deliberately not the product's.
constexpr char RETRY_CAPTION[] = "Self Unpack";

constexpr char RETRY_MESSAGE[] =
    "既に存在しているか、アクセス権がないなどの理由で、\n解凍先ディレクトリ [ %s ] "
    "を\n作成できませんん。\n他のディレクトリを選択してください。";

constexpr char ABANDON_MESSAGE[] = "%s %s の解凍を中止します。";

constexpr char SAVE_TITLE[] = "解凍先ディレクトリの選択[ %s %s ]";

static_assert(FitsBuffer(ABANDON_MESSAGE, 2, kMaxNameAndVersion, kTitleBufferSize));
// The longest format around name and version: it sets their limit.
static_assert(FitsBuffer(SAVE_TITLE, 2, kMaxNameAndVersion, kTitleBufferSize) &&
              !FitsBuffer(SAVE_TITLE, 2, kMaxNameAndVersion + 1, kTitleBufferSize));

// No file-type filter: an empty description for "*.*".
constexpr wchar_t SAVE_FILTER[] = L"\0*.*\0";

bool IsNtFamily() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version) == 0) {
        return false;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// The destination holds UTF-8; a path too long for it is refused whole, never cut short.
bool CopyPath(char (&to)[platform::OUTPUT_PATH_CAPACITY], const std::string& from) {
    if (from.size() >= sizeof to) {
        to[0] = '\0';
        return false;
    }
    std::memcpy(to, from.c_str(), from.size() + 1);
    return true;
}

using GetSaveFileNameFunction = BOOL(WINAPI*)(LPOPENFILENAMEW);

bool CreateFolder(const char* path) {
    std::wstring wide;
    return FileSystemPath(path, wide) && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

// Creates `path` and whatever folders above it are missing; only the last must be new.
bool CreateFolderAndParents(const char* path) {
    if (CreateFolder(path)) {
        return true;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND) {
        return false;
    }
    std::string parent = path;
    parent.push_back('\0');
    TrimLastComponent(parent.data());
    if (std::strcmp(parent.c_str(), path) == 0) {
        return false;
    }
    CreateFolderAndParents(parent.c_str());
    return CreateFolder(path);
}

bool IsPlainFile(const char* path) {
    std::wstring wide;
    if (!FileSystemPath(path, wide)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring RetryMessage(const char* path) {
    return WideFromShiftJisWith(RETRY_MESSAGE, path);
}

}  // namespace

int UnpackApp::Prepare(int show_confirmation) {
    if (show_confirmation != 0) {
        ConfirmDialog confirm;
        confirm.product_info = this;
        if (confirm.RunModal(window, IDD_CONFIRM) != IDOK) {
            cancelled = 1;
            return 0;
        }
        install_mode = confirm.unpack_only == 0 ? 1 : 0;
    }
    log.Write("mode: %s%s%s", install_mode != 0 ? "install" : "unpack only",
              options.unattended ? ", unattended" : "", is_relaunch != 0 ? ", elevated" : "");

    if (ChooseDestination() != 0) {
        log.Write("destination: %s", destination);
        if (window != nullptr) {
            ShowWindow(window, SW_SHOW);
        }
        return 1;
    }
    log.Write("destination: none could be created (the last tried: %s)", destination);

    // An elevated copy may manage what this one cannot; a copy that is itself the elevated
    // relaunch will not relaunch again, so it has to say that it gives up.
    if (install_mode != 0 && is_relaunch == 0 && IsNtFamily()) {
        ++elevation_requests;
        return 0;
    }
    if (options.unattended) {
        return 0;
    }

    char text[kTitleBufferSize];
    std::snprintf(text, sizeof text, ABANDON_MESSAGE, Name(), Version());
    MessageBoxW(nullptr, WideFromShiftJis(text).c_str(), WideFromShiftJis(Caption()).c_str(),
                MB_OK);
    return 0;
}

int UnpackApp::ChooseDestination() {
    if (install_mode != 0) {
        return MakeWorkFolder();
    }

    std::memset(destination, 0, sizeof destination);
    if (!options.unpack_folder.empty()) {
        // A path too long for the buffer is not created cut short, under some other name.
        if (CopyPath(destination, options.unpack_folder) && CreateFolderAndParents(destination)) {
            return 1;
        }
    } else {
        std::string own_path;
        if (!OwnProgramPath(own_path) || !CopyPath(destination, own_path)) {
            return 0;
        }
        CutExtension(destination);
        if (CreateFolder(destination)) {
            return 1;
        }
    }
    // An existing folder is never written into; an unattended run has nobody to ask for another.
    if (options.unattended) {
        return 0;
    }

    std::wstring message = RetryMessage(destination);

    // Filled once: each later round offers the name chosen in the round before. The dialog
    // keeps to MAX_PATH: a longer choice fails there, as it always did.
    wchar_t file[MAX_PATH] = {};
    const std::wstring name = WideFromShiftJis(Name());
    name.copy(file, MAX_PATH - 1);
    char title[kTitleBufferSize];
    std::snprintf(title, sizeof title, SAVE_TITLE, Name(), Version());
    const std::wstring wide_title = WideFromShiftJis(title);
    OPENFILENAMEW dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = nullptr;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = SAVE_FILTER;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = wide_title.c_str();
    dialog.Flags = OFN_HIDEREADONLY;

    const auto get_save_file_name =
        SystemFunction<GetSaveFileNameFunction>("comdlg32.dll", "GetSaveFileNameW");
    if (get_save_file_name == nullptr) {
        return 0;
    }

    const std::wstring caption = WideFromShiftJis(RETRY_CAPTION);
    for (;;) {
        if (MessageBoxW(window, message.c_str(), caption.c_str(), MB_OKCANCEL) != IDOK) {
            return 0;
        }
        if (get_save_file_name(&dialog) == 0) {
            return 0;
        }
        if (CopyPath(destination, WideToUtf8(file)) && CreateFolder(destination)) {
            return 1;
        }
        message = RetryMessage(destination);
    }
}

int UnpackApp::MakeWorkFolder() {
    std::memset(destination, 0, sizeof destination);
    std::string base;
    if (!WindowsFolder(base)) {
        return 0;
    }

    // The first n whose folder cannot be listed; an existing empty folder still lists "." and
    // "..", and a plain file in the way cannot be listed, so its creation fails below.
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "UnpackDir%d\\*.*", n);
        if (!JoinPath(destination, sizeof destination, base.c_str(), name)) {
            return 0;
        }
        std::wstring pattern;
        WIN32_FIND_DATAW found;
        HANDLE search = FileSystemPath(destination, pattern)
                            ? FindFirstFileW(pattern.c_str(), &found)
                            : INVALID_HANDLE_VALUE;
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            continue;
        }
        TrimLastComponent(destination);
        if (CreateFolder(destination)) {
            return 1;
        }
        // Unattended installs started together race for the same number: a folder another run
        // made since the search is no reason to elevate, the next number is. A plain file in
        // the way, or no right to create, is.
        if (!options.unattended || GetLastError() != ERROR_ALREADY_EXISTS ||
            IsPlainFile(destination)) {
            return 0;
        }
    }
}
