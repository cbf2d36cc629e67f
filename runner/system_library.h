// Functions of system DLLs that are not loaded at start-up. A self-unpacker is started from
// download folders full of other files, so these DLLs come from the system folder only and are
// loaded on first use, after the DLL search has been restricted.
#pragma once

#include <windows.h>

#include "runner/path_text.h"

// Returns the function, or null when the DLL or the function is missing.
template <typename Function>
Function SystemFunction(const char* dll, const char* name) {
    HMODULE module = GetModuleHandleA(dll);
    if (module == nullptr) {
        char path[MAX_PATH];
        const UINT len = GetSystemDirectoryA(path, MAX_PATH);
        if (len == 0 || len >= MAX_PATH || !JoinPath(path, sizeof path, path, dll)) {
            return nullptr;
        }
        module = LoadLibraryA(path);
    }
    if (module == nullptr) {
        return nullptr;
    }
    // The cast from a generic procedure address to its real type is how GetProcAddress works.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
