// Preparation: the confirmation, the mode and a freshly created destination folder.
#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "resources/identity_rules.h"
#include "resources/resource_ids.h"
#include "runner/path_text.h"
#include "runner/system_library.h"
#include "runner/unpack_app.h"
#include "ui/confirm_dialog.h"

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
constexpr size_t RETRY_MESSAGE_SIZE = 516;
static_assert(FitsBuffer(RETRY_MESSAGE, 1, PATH_BUFFER_SIZE - 1, RETRY_MESSAGE_SIZE));

// No file-type filter: an empty description for "*.*".
constexpr char SAVE_FILTER[] = "\0*.*\0";

bool IsNtFamily() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version) == 0) {
        return false;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void CopyPath(char* to, const char* from) {
    const size_t len = strnlen(from, PATH_BUFFER_SIZE - 1);
    std::memcpy(to, from, len);
    to[len] = '\0';
}

using GetSaveFileNameFunction = BOOL(WINAPI*)(LPOPENFILENAMEA);

// Creates `path` and whatever folders above it are missing; only the last must be new.
bool CreateFolderAndParents(const char* path) {
    if (CreateDirectoryA(path, nullptr) != 0) {
        return true;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND) {
        return false;
    }
    char parent[PATH_BUFFER_SIZE];
    CopyPath(parent, path);
    TrimLastComponent(parent);
    if (std::strcmp(parent, path) == 0) {
        return false;
    }
    CreateFolderAndParents(parent);
    return CreateDirectoryA(path, nullptr) != 0;
}

bool IsPlainFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
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
    MessageBoxA(nullptr, text, Caption(), MB_OK);
    return 0;
}

int UnpackApp::ChooseDestination() {
    if (install_mode != 0) {
        return MakeWorkFolder();
    }

    std::memset(destination, 0, sizeof destination);
    if (!options.unpack_folder.empty()) {
        CopyPath(destination, options.unpack_folder.c_str());
        // A path too long for the buffer is not created cut short, under some other name.
        if (options.unpack_folder.size() < PATH_BUFFER_SIZE &&
            CreateFolderAndParents(destination)) {
            return 1;
        }
    } else {
        const DWORD len = GetModuleFileNameA(nullptr, destination, PATH_BUFFER_SIZE);
        if (len == 0 || len >= PATH_BUFFER_SIZE) {
            // A truncated path would name some other folder.
            std::memset(destination, 0, sizeof destination);
            return 0;
        }
        CutExtension(destination);
        if (CreateDirectoryA(destination, nullptr) != 0) {
            return 1;
        }
    }
    // An existing folder is never written into; an unattended run has nobody to ask for another.
    if (options.unattended) {
        return 0;
    }

    char message[RETRY_MESSAGE_SIZE];
    std::snprintf(message, sizeof message, RETRY_MESSAGE, destination);

    // Filled once: each later round offers the name chosen in the round before.
    char file[PATH_BUFFER_SIZE];
    CopyPath(file, Name());
    char title[kTitleBufferSize];
    std::snprintf(title, sizeof title, SAVE_TITLE, Name(), Version());
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = nullptr;
    dialog.hInstance = GetModuleHandleA(nullptr);
    dialog.lpstrFilter = SAVE_FILTER;
    dialog.lpstrFile = file;
    dialog.nMaxFile = PATH_BUFFER_SIZE;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_HIDEREADONLY;

    const auto get_save_file_name =
        SystemFunction<GetSaveFileNameFunction>("comdlg32.dll", "GetSaveFileNameA");
    if (get_save_file_name == nullptr) {
        return 0;
    }

    for (;;) {
        if (MessageBoxA(window, message, RETRY_CAPTION, MB_OKCANCEL) != IDOK) {
            return 0;
        }
        if (get_save_file_name(&dialog) == 0) {
            return 0;
        }
        CopyPath(destination, file);
        if (CreateDirectoryA(destination, nullptr) != 0) {
            return 1;
        }
        std::snprintf(message, sizeof message, RETRY_MESSAGE, destination);
    }
}

int UnpackApp::MakeWorkFolder() {
    std::memset(destination, 0, sizeof destination);
    const UINT len = GetWindowsDirectoryA(destination, PATH_BUFFER_SIZE);
    if (len == 0 || len >= PATH_BUFFER_SIZE) {
        std::memset(destination, 0, sizeof destination);
        return 0;
    }
    char base[PATH_BUFFER_SIZE];
    CopyPath(base, destination);

    // The first n whose folder cannot be listed; an existing empty folder still lists "." and
    // "..", and a plain file in the way cannot be listed, so its creation fails below.
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "UnpackDir%d\\*.*", n);
        if (!JoinPath(destination, PATH_BUFFER_SIZE, base, name)) {
            return 0;
        }
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(destination, &found);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            continue;
        }
        TrimLastComponent(destination);
        if (CreateDirectoryA(destination, nullptr) != 0) {
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
