// The executable's own module and the texts of its string table.
#pragma once

#include <windows.h>

#include <string_view>

// The module that holds the program's resources (the executable).
HINSTANCE ModuleInstance();

// A text of the string table, read in place (the view stays valid for the life of the process);
// empty when the table has no such entry.
std::wstring_view ResourceText(UINT id);
