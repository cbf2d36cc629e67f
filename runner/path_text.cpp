#include "runner/path_text.h"

#include <cstring>

#include "package/entry_name.h"

bool IsLeadByte(unsigned char byte) {
    return IsShiftJisLeadByte(byte);
}

bool IsLeadBytePosition(const char* text, int index) {
    if (text == nullptr || index < 0) {
        return false;
    }
    int at = 0;
    while (text[at] != '\0' && at < index) {
        // A lead byte takes its second byte with it, whatever that byte is, unless the text
        // ends there.
        if (IsLeadByte(static_cast<unsigned char>(text[at])) && text[at + 1] != '\0') {
            at += 2;
        } else {
            at += 1;
        }
    }
    return at == index && text[at] != '\0' && IsLeadByte(static_cast<unsigned char>(text[at]));
}

void TrimLastComponent(char* path) {
    const int len = static_cast<int>(std::strlen(path));
    int i = len - 1;
    for (; i >= 0; --i) {
        if (path[i] == ':') {
            ++i;
            break;
        }
        if (path[i] == '\\' && !IsLeadBytePosition(path, i - 1)) {
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
        if (IsLeadByte(static_cast<unsigned char>(c)) && path[at + 1] != '\0') {
            at += 2;
            continue;
        }
        ++at;
        if (c == '\\' || c == '/' || c == ':') {
            start = at;
        }
    }
    return start;
}

void CutExtension(char* path) {
    const size_t name = FileNameStart(path);
    // '.' is never a second byte in code page 932, so a byte search inside the name is safe.
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
    if (last != '\\' && last != '/') {
        return false;
    }
    return !IsLeadBytePosition(path, static_cast<int>(len) - 2);
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

bool QuotePath(char* out, size_t size, const char* path) {
    const size_t len = std::strlen(path);
    if (size == 0 || len + 3 > size) {
        if (size != 0) {
            out[0] = '\0';
        }
        return false;
    }
    out[0] = '"';
    std::memcpy(out + 1, path, len);
    out[len + 1] = '"';
    out[len + 2] = '\0';
    return true;
}

bool HasRelaunchArgument(const char* command_tail) {
    return command_tail != nullptr && std::strstr(command_tail, "/RUNAS") != nullptr;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}
