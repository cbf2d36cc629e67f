// Functions of system DLLs that are not loaded at start-up. A self-unpacker is started from
// download folders full of other files, so these DLLs come from the system folder only and are
// loaded on first use, after the DLL search has been restricted.
#pragma once

#include <windows.h>

#include <string>

#include "win/wide_text.h"

// Returns the function, or null when the DLL or the function is missing.
template <typename Function>
Function SystemFunction(const char* dll, const char* name) {
    const std::wstring wide_dll = WideFromUtf8(dll);
    HMODULE module = GetModuleHandleW(wide_dll.c_str());
    if (module == nullptr) {
        wchar_t folder[MAX_PATH];
        const UINT len = GetSystemDirectoryW(folder, MAX_PATH);
        if (len == 0 || len >= MAX_PATH) {
            return nullptr;
        }
        module = LoadLibraryW((std::wstring(folder, len) + L"\\" + wide_dll).c_str());
    }
    if (module == nullptr) {
        return nullptr;
    }
    // The cast from a generic procedure address to its real type is how GetProcAddress works.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
