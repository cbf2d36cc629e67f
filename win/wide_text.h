// Text and paths for the W functions of Windows. Inside the program, paths are UTF-8; texts
// that packages and products carry are Shift-JIS, always read with code page 932 itself, never
// with whatever code page the system happens to use.
#pragma once

#include <string>
#include <string_view>

inline constexpr unsigned SHIFT_JIS_CODE_PAGE = 932;

// Both fail on bytes that are not valid in their encoding; nothing is ever replaced by a
// substitute character.
bool Utf8ToWide(std::string_view utf8, std::wstring& wide);
bool ShiftJisToWide(std::string_view shift_jis, std::wstring& wide);
// Unpaired surrogates (which file names may hold) come out as U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// For the program's own texts, known to be valid: what does not convert is left out.
std::wstring WideFromUtf8(std::string_view utf8);
std::wstring WideFromShiftJis(std::string_view shift_jis);
// A Shift-JIS text whose first "%s" is replaced by UTF-8 text (a path that Shift-JIS may not
// be able to spell).
std::wstring WideFromShiftJisWith(std::string_view shift_jis_format, std::string_view utf8);
// Shift-JIS text in UTF-8, for the log.
std::string Utf8FromShiftJis(std::string_view shift_jis);

// The absolute, normalised form of a path (GetFullPathNameW), of any length.
bool FullPath(const std::wstring& wide, std::wstring& full);

// The path as the file functions should get it: absolute, normalised, and in the "\\?\" form,
// so that no MAX_PATH limit applies. False when `utf8` is not valid UTF-8 or names nothing.
bool FileSystemPath(std::string_view utf8, std::wstring& path);
// The same for a path already in UTF-16.
bool FileSystemPath(const std::wstring& wide, std::wstring& path);
