#include "ui/dialog_window.h"

namespace {

// DWL_USER on 32-bit Windows; the slot is pointer-sized on 64-bit Windows (DWLP_USER), which the
// test build runs on.
#ifdef _WIN64
void StoreObject(HWND window, DialogWindow* object) {
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(object));
}
DialogWindow* LoadObject(HWND window) {
    return reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
}
#else
void StoreObject(HWND window, DialogWindow* object) {
    SetWindowLongW(window, DWL_USER, reinterpret_cast<LONG>(object));
}
DialogWindow* LoadObject(HWND window) {
    return reinterpret_cast<DialogWindow*>(GetWindowLongW(window, DWL_USER));
}
#endif

// Only the low 16 bits name the template, as an integer resource name.
LPCWSTR TemplateName(int resource_id) {
    return MAKEINTRESOURCEW(static_cast<WORD>(resource_id & 0xFFFF));
}

}  // namespace

DialogWindow::DialogWindow() : window(nullptr), previous_procedure(nullptr) {}

INT_PTR DialogWindow::RunModal(HWND parent, int resource_id) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), TemplateName(resource_id), parent,
                           &DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND DialogWindow::CreateModeless(HWND parent, int resource_id) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), TemplateName(resource_id), parent,
                              &DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL DialogWindow::EndModal(INT_PTR result) {
    return EndDialog(window, result);
}

void DialogWindow::Destroy() {
    // A second call passes no window: DestroyWindow fails and nothing changes.
    DestroyWindow(window);
    window = nullptr;
}

INT_PTR DialogWindow::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (previous_procedure == nullptr) return 0;
    return CallWindowProcW(previous_procedure, window, message, wparam, lparam);
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DialogWindow* object = nullptr;
    if (message == WM_INITDIALOG) {
        // Bind before the object's handler runs, so that it already finds its window.
        object = reinterpret_cast<DialogWindow*>(lparam);
        if (object != nullptr) {
            object->window = window;
            object->previous_procedure = nullptr;
        }
        StoreObject(window, object);
    } else {
        // Messages before WM_INITDIALOG (WM_SETFONT first of all) find the slot empty.
        object = LoadObject(window);
    }
    if (object == nullptr) return 0;
    return object->WindowProc(message, wparam, lparam);
}
