// Paths as UTF-8 text, and which names a Windows folder can hold.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// fopen with a UTF-8 path (wide file APIs on Windows).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// A path for messages: as EscapeForTerminal shows text, except that on Windows the backslash
// separates folders (no name can hold one) and is left as it is.
std::string DisplayPath(const std::filesystem::path& path);

// Why a file name (UTF-8, no folder part) cannot be a file in a Windows folder from a package,
// or "" when it can: Utf8NameProblem at the portable level, described.
std::string WindowsNameProblem(std::string_view name);
