// Small helpers that several Windows test programs need: this computer's name, the test program's
// path, a socket's port, and the contents of a global memory block.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "runtime/Handles.h"

namespace testutil {

// The computer name as GetComputerNameW gives it (upper case, at most 15 characters).
inline std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &length) || length == 0) return L"<no computer name>";
    return std::wstring(name, length);
}

// The full path of the running test program.
inline std::wstring ProgramPath() {
    wchar_t path[MAX_PATH];
    return std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// The port a socket is bound to (0 if none).
inline USHORT LocalPort(SOCKET handle) {
    sockaddr_in address{};
    int length = sizeof address;
    return ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? ::ntohs(address.sin_port) : 0;
}

// Every byte of a global memory block (empty when it cannot be locked).
inline std::vector<std::uint8_t> BytesOf(HGLOBAL block) {
    GlobalLockGuard lock(block);
    const auto* data = static_cast<const std::uint8_t*>(lock.Data());
    return data ? std::vector<std::uint8_t>(data, data + lock.Size()) : std::vector<std::uint8_t>{};
}

// The wide text in a global memory block, up to its first null or the block's end.
inline std::wstring WideTextOf(HGLOBAL block) {
    GlobalLockGuard lock(block);
    const auto* text = static_cast<const wchar_t*>(lock.Data());
    return text ? std::wstring(text, ::wcsnlen(text, lock.Size() / sizeof(wchar_t))) : L"";
}

}  // namespace testutil
