// RegKey: opening, creating and deleting registry keys for the settings record.
#include "settings/RegKey.h"

#include <cwchar>

LONG RegKey::Open(HKEY root, const wchar_t* path, REGSAM access) {
    HKEY key = nullptr;  // the system may write here even when it fails: keep ours until it succeeded
    const LONG result = ::RegOpenKeyExW(root, path, 0, access, &key);
    if (result != ERROR_SUCCESS) return result;
    m_key.Reset(key);
    return ERROR_SUCCESS;
}

LONG RegKey::Create(HKEY root, const wchar_t* path, REGSAM access) {
    HKEY key = nullptr;
    const LONG result = ::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                          nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    m_key.Reset(key);
    return ERROR_SUCCESS;
}

LONG RegKey::DeleteSubtree(const wchar_t* name) {
    RegKey subkey;
    LONG result = subkey.Open(Get(), name, KEY_READ | KEY_WRITE);
    if (result != ERROR_SUCCESS) return result;
    // Always ask for index 0: each child deleted moves the next one to the front.
    for (;;) {
        wchar_t child[256];
        child[0] = L'\0';
        DWORD length = 256;
        result = ::RegEnumKeyExW(subkey.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS) result = subkey.DeleteSubtree(child);
        if (result != ERROR_SUCCESS) {
            subkey.Close();
            return result;
        }
    }
    subkey.Close();
    return ::RegDeleteKeyW(Get(), name);
}

LONG RegKey::SetString(const wchar_t* valueName, const wchar_t* text) {
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG RegKey::SetDword(const wchar_t* valueName, DWORD value) {
    return ::RegSetValueExW(Get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
}
