// How the tool writes names, times, attributes and sizes for people and for JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/package_format.h"

// A stored Shift-JIS name for people: in UTF-8, its folders and file each escaped as
// EscapeForTerminal does (and '/' as \x2F) and joined by '/'; a name that does not convert is
// shown byte by byte, \xNN for all but printable ASCII.
std::string DisplayName(std::string_view shift_jis);

// The same name unescaped, for JSON (which escapes for itself): the UTF-8 text, or for a name
// that does not convert the byte-by-byte form DisplayName gives it.
std::string NameText(std::string_view shift_jis);

// UTF-8 text made harmless for a terminal: control characters as \xNN (U+0080 to U+009F as
// \u00NN), bytes that are not UTF-8 as \xNN, and a backslash doubled so that no name can pass
// for an escape.
std::string EscapeForTerminal(std::string_view utf8);

// "2024-03-01 12:34:56" (UTC, whole seconds).
std::string FormatTime(FileTime time);
// "2024-03-01T12:34:56Z", with a fraction of up to 7 digits when there is one: exact.
std::string FormatTimeIso(FileTime time);

// Seconds since 1970 (UTC) as a FILETIME; nullopt outside 1601..30827.
std::optional<FileTime> FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds = 0);

// A time given by a user: seconds since 1970 ("1700000000" or "@1700000000"), or a UTC date
// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" or "YYYY-MM-DD HH:MM:SS", optionally ending in "Z".
std::optional<FileTime> ParseUserTime(std::string_view text);

// "RHSA" style letters for the bits people know, "-" for the others; unknown bits in hex.
std::string FormatAttributes(uint32_t attributes);

// 1536 -> "1.5 KiB".
std::string FormatBytes(int64_t bytes);

// The body of a JSON string (without quotes).
std::string JsonEscape(std::string_view utf8);
