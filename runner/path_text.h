// Shift-JIS path text: helpers that understand double-byte characters (no Windows needed).
#pragma once

#include <cstddef>

// Lead bytes of code page 932. The range runs to 0xFC: the user-defined and IBM-extension
// characters (0xF0-0xFC) are double-byte too, and some of them end in 0x5C.
bool IsLeadByte(unsigned char byte);

// True when, walking `text` character by character from its start, a double-byte character
// begins exactly at `index`.
bool IsLeadBytePosition(const char* text, int index);

// Cuts `path` in place at its last separator (a drive prefix such as "C:" stays whole).
void TrimLastComponent(char* path);

// Index just past the last real separator ('\\', '/' or a drive ':'), 0 when there is none.
size_t FileNameStart(const char* path);

// Cuts the extension of the file name in place: D:\pkg\prod.exe becomes D:\pkg\prod. Dots in
// folder names and a leading dot of the file name are left alone.
void CutExtension(char* path);

// True when the path ends in a real separator ('\\' or '/'), not in a trail byte.
bool EndsWithSeparator(const char* path);

// Writes `folder` + "\" + `name` into `out` (capacity `size`, NUL included). Returns false,
// leaving `out` empty, when the result does not fit.
bool JoinPath(char* out, size_t size, const char* folder, const char* name);

// Writes `path` in double quotes, the form a command line needs when the path holds blanks.
bool QuotePath(char* out, size_t size, const char* path);

// A relaunched run carries "/RUNAS" somewhere in its command tail (case matters).
bool HasRelaunchArgument(const char* command_tail);

// "." and ".." in a folder listing: the only names a clean-up must skip.
bool IsDotEntry(const char* name);
