// The user interface's private window messages, and the main window's class name (which the
// tests and the driver look for).
#pragma once

#include <windows.h>

#include "framework/MessageBase.h"

// To the main window, posted when the host table changes.
constexpr UINT WM_HOSTADDED = kPrivateMessageBase + 0;     // wParam host address
constexpr UINT WM_HOSTREMOVED = kPrivateMessageBase + 1;   // wParam host address
constexpr UINT WM_HOSTCHANGED = kPrivateMessageBase + 2;   // wParam host address, lParam new friend flag
// To the progress window.
constexpr UINT WM_PROGRESS = kPrivateMessageBase + 3;        // wParam bytes so far, lParam total
constexpr UINT WM_PROGRESSOPEN = kPrivateMessageBase + 23;   // sent by the progressor to the window's thread
constexpr UINT WM_PROGRESSCLOSE = kPrivateMessageBase + 24;  // likewise
// To the hidden window, from the notification-area icon.
constexpr UINT WM_TRAYNOTIFY = kPrivateMessageBase + 8;      // lParam mouse message
// Between the host list, its editor, its scroll bar and its page.
constexpr UINT WM_LISTCHECKED = kPrivateMessageBase + 9;     // list -> page: wParam index, lParam new mark
constexpr UINT WM_LISTEDITDONE = kPrivateMessageBase + 11;   // editor -> list: wParam accept; list -> page: index, text
constexpr UINT WM_REFILLLIST = kPrivateMessageBase + 21;     // Friends page -> itself
constexpr UINT WM_SCROLLBARPOS = kPrivateMessageBase + 22;   // scroll bar -> list: wParam the new top entry

constexpr wchar_t kMainWindowClass[] = L"Pelko Main Window Class";
