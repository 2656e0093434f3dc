// The base of the program's private window messages: each subsystem numbers its own from here
// (ui/UiMessages.h, app/AppMessages.h), so no two of them share a value.
#pragma once

#include <windows.h>

constexpr UINT kPrivateMessageBase = WM_USER + 4000;
