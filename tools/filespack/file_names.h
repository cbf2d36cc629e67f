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

// Why a file name (UTF-8, no folder part) cannot be a file in a Windows folder, or "" when it
// can: separators and the other reserved characters, control characters, "." and "..", a
// trailing dot or space (Windows drops them), and device names such as CON and NUL.
std::string WindowsNameProblem(std::string_view name);

// Windows compares names without regard to the case of ASCII letters (among others).
std::string FoldCaseAscii(std::string_view name);
