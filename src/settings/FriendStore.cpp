#include "settings/FriendStore.h"

#include <cwchar>

#include "runtime/Trace.h"
#include "settings/RegKey.h"

namespace {

constexpr wchar_t kHostsKey[] = L"Software\\Pelko\\Hosts";
constexpr wchar_t kHostsSubkey[] = L"Hosts";
constexpr DWORD kNameRoom = 128;   // characters, with the terminating null
constexpr DWORD kNickRoom = 1024;  // characters, with the terminating null

}  // namespace

bool LoadFriendStore(FriendNickMap& friends) {
    FriendNickMap loaded;
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kHostsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            wchar_t name[kNameRoom];
            DWORD nameLength = kNameRoom;
            wchar_t nick[kNickRoom + 1];
            DWORD nickBytes = kNickRoom * sizeof(wchar_t);
            if (::RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(nick),
                                &nickBytes) != ERROR_SUCCESS)
                break;  // no more values, or one that does not fit: the rest is not read
            nick[nickBytes / sizeof(wchar_t)] = L'\0';  // the stored text need not end with a null
            loaded[std::wstring(name, nameLength)] = nick;
        }
    }
    friends.swap(loaded);
    return true;
}

bool SaveFriendStore(const std::vector<StoredFriend>& friends) {
    RegKey settings;
    if (settings.Open(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        settings.DeleteSubtree(kHostsSubkey);  // a failure here leaves old values to be overwritten
        settings.Close();
    }
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kHostsKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return true;
    std::vector<const std::wstring*> written;
    for (const auto& stored : friends) {
        // A later name in other letter case would overwrite the first one's nick under its spelling.
        bool known = false;
        for (const auto* name : written) known = known || ::_wcsicmp(name->c_str(), stored.name.c_str()) == 0;
        if (known) continue;
        written.push_back(&stored.name);
        const DWORD bytes = static_cast<DWORD>((stored.nick.size() + 1) * sizeof(wchar_t));
        ::RegSetValueExW(key.Get(), stored.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.nick.c_str()),
                         bytes);
    }
    return true;
}

bool SaveFriendNick(const wchar_t* name, const wchar_t* nick) {
    bool result = false;
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kHostsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        result = key.SetString(name, nick) == ERROR_SUCCESS;
        key.Close();
    }
    ExTrace(L"SaveNick res=%d;  lasterr=%d", result ? TRUE : FALSE, static_cast<int>(::GetLastError()));
    return result;
}
