// The program's entry: restrict where DLLs come from, then run the product.
#include <windows.h>

#include <string>

#include "product_app.h"
#include "runner/command_line.h"
#include "win/wide_text.h"

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// The program is typically started from a download folder full of other files: DLLs loaded
// later must come from System32 only. Older systems lack the call; there the DLLs the program
// loads later are named by their full System32 path.
void RestrictDllSearch() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    const auto set_default_dll_directories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default_dll_directories != nullptr) {
        set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

}  // namespace

// The tail WinMain is given went through the system's code page, which may not spell the paths
// in it: the switches are read from the UTF-16 command line instead, as UTF-8.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    const std::string command_line = WideToUtf8(GetCommandLineW());
    ProductApp app;
    return app.Run(CommandTail(command_line.c_str()));
}
