// Private messages of the progress window.
#pragma once

#include <windows.h>

inline constexpr UINT MSG_PROGRESS = WM_USER + 10;     // wParam done, lParam total (posted)
inline constexpr UINT MSG_PLEASE_WAIT = WM_USER + 11;  // show "please wait" (sent)
inline constexpr UINT MSG_FAILED = WM_USER + 12;       // extraction failed or no package (sent)
