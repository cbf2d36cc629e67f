#include "tools/filespack/files/program_location.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

std::filesystem::path GenericProgramPath() {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    if (length == 0 || length >= 32768) return {};
    const std::filesystem::path self(std::wstring(buffer, length));
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
#endif
    const std::filesystem::path beside = self.parent_path() / kGenericProgramName;
#ifndef _WIN32
    // Installed, filespack is in PREFIX/bin and the program in PREFIX/share/filespack.
    const std::filesystem::path shared =
        self.parent_path().parent_path() / "share" / "filespack" / kGenericProgramName;
    if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(shared, ec)) return shared;
#endif
    return beside;
}
