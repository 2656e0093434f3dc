// The only way a message reaches the user: the program's own message box (CMessageDlg), modal,
// with the desktop window as parent. Callers pass MB_ICONERROR, or MB_ICONEXCLAMATION from the
// host pages; every message looks the same. Main thread.
#pragma once

#include <windows.h>

// Shows the text; returns what the box returns (IDOK or IDCANCEL; -1 if it could not be shown).
int ShowMessage(const wchar_t* text, UINT style);

// Shows string stringId of the string table; if there is no such string, shows nothing and
// returns 0.
int ShowMessageId(UINT stringId, UINT style);

// True while a box shown by this thread is open. Its parent is the desktop, so the program's
// other windows stay enabled and their messages run inside the box's loop; a window whose caller
// waits for the box must not go away meanwhile (the main window defers its close).
bool IsMessageBoxOpen() noexcept;
