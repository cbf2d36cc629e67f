// A DLL a stranger might leave next to a downloaded program: when loaded it creates the file
// named by FILESPACK_PLANT_MARKER, so a test can tell that its code ran.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    const DWORD len = GetEnvironmentVariableA("FILESPACK_PLANT_MARKER", path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) return TRUE;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}

// An entry point the program would look for, so a planted copy would be used in earnest.
extern "C" __declspec(dllexport) void WINAPI InitCommonControls() {}
