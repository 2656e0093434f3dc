// Small registry helpers for tests: seeding, reading and removing keys and values directly with
// the system's calls, independent of the code under test.
#pragma once

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Handles.h"

namespace testreg {

inline void DeleteTree(HKEY root, const wchar_t* path) { ::RegDeleteTreeW(root, path), ::RegDeleteKeyW(root, path); }

// A value set, its key made when needed.
inline LONG SetDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
    return ::RegSetKeyValueW(root, path, name, REG_DWORD, &value, sizeof value);
}
inline LONG SetString(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    return ::RegSetKeyValueW(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Gives `path` an access list that refuses writing values to everyone (reading and deleting stay
// allowed, so the test can still clean up): opening it for full access then fails with
// ERROR_ACCESS_DENIED, as for a user without rights on HKEY_LOCAL_MACHINE.
inline LONG DenyWrites(HKEY root, const wchar_t* path) {
    UniqueRegKey key;
    UniqueLocalMemory rules;
    if (const LONG result = ::RegOpenKeyExW(root, path, 0, WRITE_DAC, key.Put()); result != ERROR_SUCCESS) return result;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, rules.Put(),
                                                                nullptr))
        return static_cast<LONG>(::GetLastError());
    return ::RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, rules.Get());
}

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::wstring Text() const {   // without the terminating null the program stores
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        return text.empty() || text.back() != L'\0' ? text : text.substr(0, text.size() - 1);
    }
    DWORD Dword() const { return data.size() == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0xDEADBEEF; }
};

inline std::optional<Value> GetValue(HKEY root, const wchar_t* path, const wchar_t* name) {
    Value value{REG_NONE, std::vector<BYTE>(65536)};   // larger than any value the tests store
    DWORD bytes = 65536;
    if (::RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, value.data.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(bytes);
    return value;
}

// The value (or subkey) names of a key, sorted: Windows and Wine enumerate them in different orders.
inline std::vector<std::wstring> Names(HKEY root, const wchar_t* path, bool subkeys) {
    std::vector<std::wstring> names;
    UniqueRegKey key;
    wchar_t name[16384];
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return names;
    for (DWORD i = 0, n = 16384;; ++i, n = 16384) {
        const LONG result = subkeys ? ::RegEnumKeyExW(key.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr)
                                    : ::RegEnumValueW(key.Get(), i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) break;
        names.emplace_back(name, n);
    }
    std::sort(names.begin(), names.end());
    return names;
}
inline std::vector<std::wstring> ValueNames(HKEY root, const wchar_t* path) { return Names(root, path, false); }
inline std::vector<std::wstring> SubkeyNames(HKEY root, const wchar_t* path) { return Names(root, path, true); }

}  // namespace testreg
