// Naming a window on the driver's command line: "--hwnd H", or "--class C" and/or "--title T"
// (exact, as FindWindowW takes them), optionally "--visible" to pass over hidden windows of the
// same class (a menu window that has just closed, for instance).
#pragma once

#include <windows.h>

#include "Args.h"

struct WindowQuery {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    bool hasClass = false;
    bool hasTitle = false;
    bool visibleOnly = false;
};

// Takes the window options out of the arguments; sets an error when none is given.
WindowQuery TakeWindowQuery(CArgs& args);
// The first top-level window that matches, or null.
HWND FindQueriedWindow(const WindowQuery& query);
// Waits until a matching window exists (or, with gone, until none does), checking every 20 ms,
// at most timeoutMs. Returns the window found (gone: a non-null dummy on success), or null.
HWND WaitForQueriedWindow(const WindowQuery& query, DWORD timeoutMs, bool gone);
// A window's text through WM_GETTEXT (works across processes), given up after 5 s.
std::wstring WindowText(HWND hwnd);
