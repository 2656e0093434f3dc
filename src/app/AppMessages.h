// The application's private window messages and the hidden window's class name, by which a
// second start of the program finds the running one.
#pragma once

#include <windows.h>

#include "framework/MessageBase.h"

constexpr UINT WM_OPENMAINWINDOW = kPrivateMessageBase + 10;  // from a second start of the program
constexpr UINT WM_RENDERED = kPrivateMessageBase + 12;        // the hidden window to itself: a render has returned

constexpr wchar_t kHiddenWindowClass[] = L"Pelko Hidden Window Class";
