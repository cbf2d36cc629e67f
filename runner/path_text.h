// The program's path text (no Windows needed). Paths are UTF-8, in which no byte of a
// character beyond ASCII is ever '\\', '/', ':' or '.', so a byte search finds only real
// separators and dots.
#pragma once

#include <cstddef>

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

// A relaunched run carries "/RUNAS" somewhere in its command tail (case matters).
bool HasRelaunchArgument(const char* command_tail);
