// The full path of the program's executable, as the settings and the sound events store it.
#pragma once

#include <windows.h>

#include <string>

// GetModuleFileNameW of the program's own module into room for MAX_PATH characters. Empty when
// the path cannot be read or does not fit (a cut path would name another file).
inline std::wstring ProgramPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(path, length);
}
