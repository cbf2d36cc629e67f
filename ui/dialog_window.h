// Binds one dialog, built from a template in this program's resources, to one object whose
// WindowProc receives the dialog's messages. The link lives in the window's DWL_USER slot.
#pragma once

#include <windows.h>

class DialogWindow {
  public:
    DialogWindow();

    // Only the low 16 bits of `resource_id` count (an integer resource name).
    INT_PTR RunModal(HWND parent, int resource_id);
    HWND CreateModeless(HWND parent, int resource_id);
    BOOL EndModal(INT_PTR result);
    void Destroy();

    // The result goes back to the dialog manager unchanged: 0 means "not handled".
    virtual INT_PTR WindowProc(UINT message, WPARAM wparam, LPARAM lparam);

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HWND window;
    // Always null here: the binding owns its dialogs and subclasses none; kept so that a window
    // procedure replaced by this one would still be called, as the binding was designed.
    WNDPROC previous_procedure;

  protected:
    ~DialogWindow() = default;
};
