// Where filespack finds the generic program it stamps: beside its own executable, where a build
// puts it, or in the installation's share/filespack.
#pragma once

#include <filesystem>

inline constexpr const char* kGenericProgramName = "filespack-stub.exe";

// Empty when filespack cannot tell where it runs from.
std::filesystem::path GenericProgramPath();
