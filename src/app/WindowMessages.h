// Window messages that cross subsystems, and the window class names other processes rely on.
#pragma once

#include <windows.h>

constexpr UINT WM_HOSTADDED = WM_USER + 4000;       // wParam host address
constexpr UINT WM_HOSTREMOVED = WM_USER + 4001;     // wParam host address
constexpr UINT WM_HOSTCHANGED = WM_USER + 4002;     // wParam host address, lParam new friend flag
constexpr UINT WM_PROGRESS = WM_USER + 4003;        // wParam bytes so far, lParam total
constexpr UINT WM_TRAYNOTIFY = WM_USER + 4008;      // lParam mouse message
constexpr UINT WM_OPENMAINWINDOW = WM_USER + 4010;  // from a second start of the program
constexpr UINT WM_RENDERED = WM_USER + 4012;        // the hidden window to itself: a render has returned

constexpr wchar_t kHiddenWindowClass[] = L"Pelko Hidden Window Class";
constexpr wchar_t kMainWindowClass[] = L"Pelko Main Window Class";
