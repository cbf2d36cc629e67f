#include "runner/path_text.h"

#include <cstring>

void TrimLastComponent(char* path) {
    const int len = static_cast<int>(std::strlen(path));
    int i = len - 1;
    for (; i >= 0; --i) {
        if (path[i] == ':') {
            ++i;
            break;
        }
        if (path[i] == '\\') {
            break;
        }
    }
    if (i > 0 && i < len) {
        path[i] = '\0';
    }
}

size_t FileNameStart(const char* path) {
    size_t start = 0;
    size_t at = 0;
    while (path[at] != '\0') {
        const char c = path[at];
        ++at;
        if (c == '\\' || c == '/' || c == ':') {
            start = at;
        }
    }
    return start;
}

void CutExtension(char* path) {
    const size_t name = FileNameStart(path);
    char* dot = std::strrchr(path + name, '.');
    if (dot != nullptr && dot > path + name) {
        *dot = '\0';
    }
}

bool EndsWithSeparator(const char* path) {
    const size_t len = std::strlen(path);
    if (len == 0) {
        return false;
    }
    const char last = path[len - 1];
    return last == '\\' || last == '/';
}

bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
    if (size == 0) {
        return false;
    }
    const size_t folder_len = std::strlen(folder);
    const size_t name_len = std::strlen(name);
    const size_t separator = EndsWithSeparator(folder) ? 0 : 1;
    if (folder_len + separator + name_len + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memmove(out, folder, folder_len);
    if (separator != 0) {
        out[folder_len] = '\\';
    }
    std::memcpy(out + folder_len + separator, name, name_len + 1);
    return true;
}

bool HasRelaunchArgument(const char* command_tail) {
    return command_tail != nullptr && std::strstr(command_tail, "/RUNAS") != nullptr;
}
