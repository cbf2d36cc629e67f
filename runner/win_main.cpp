// The program's entry: restrict where DLLs come from, then run the product.
#include <windows.h>

#include "product_app.h"

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// The program is typically started from a download folder full of other files: DLLs loaded
// later must come from System32 only. Older systems lack the call; there the DLLs the program
// loads later are named by their full System32 path.
void RestrictDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
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

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_tail, int) {
    RestrictDllSearch();
    ProductApp app;
    return app.Run(command_tail);
}
