// RegKey: the holder of one open registry key (none when null). The settings, the sound events
// and the friends store open their keys through it, so every key is closed when its holder goes.
#pragma once

#include <windows.h>

#include "runtime/Handles.h"

// The program's settings key under HKEY_LOCAL_MACHINE (the friends store is its subkey Hosts).
constexpr wchar_t kSettingsKeyPath[] = L"Software\\Pelko";

class RegKey {
public:
    RegKey() noexcept = default;
    RegKey(RegKey&&) noexcept = default;
    RegKey& operator=(RegKey&&) noexcept = default;

    // RegOpenKeyExW without options. On success the key held before is closed and the new one
    // taken; returns 0 then, else the system error code with the held key kept.
    LONG Open(HKEY root, const wchar_t* path, REGSAM access);
    // RegCreateKeyExW (no class, non-volatile): creates the key if missing, else opens it.
    // Same holding rule and result as Open.
    LONG Create(HKEY root, const wchar_t* path, REGSAM access);
    // Closes the held key, if any.
    void Close() noexcept { m_key.Reset(); }
    // Deletes the subkey `name` of the held key with everything below it. Returns 0 or the first
    // system error met (the subkeys deleted before it stay deleted).
    LONG DeleteSubtree(const wchar_t* name);

    [[nodiscard]] HKEY Get() const noexcept { return m_key.Get(); }
    [[nodiscard]] bool IsOpen() const noexcept { return m_key.IsValid(); }

    // Writes a REG_SZ value with its terminating null; returns the system error code.
    LONG SetString(const wchar_t* valueName, const wchar_t* text);
    // Writes a REG_DWORD value; returns the system error code.
    LONG SetDword(const wchar_t* valueName, DWORD value);

private:
    UniqueRegKey m_key;
};
