// The friends store: HKEY_LOCAL_MACHINE\Software\Pelko\Hosts holds one REG_SZ value per friend,
// named by its computer name and holding its nick. LoadHosts runs when the server starts (its
// discovery socket may already be adding hosts), SaveHosts on the main thread when the user
// leaves the "Remote Hosts" page, SaveNick under the host table's lock from RenameHost.
#include <cwchar>
#include <string>
#include <vector>

#include "protocol/Hosts.h"
#include "runtime/Trace.h"
#include "settings/RegKey.h"
#include "settings/Settings.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Pelko";
constexpr wchar_t kHostsKey[] = L"Software\\Pelko\\Hosts";
constexpr wchar_t kHostsSubkey[] = L"Hosts";
constexpr DWORD kNameRoom = 128;   // characters, with the terminating null
constexpr DWORD kNickRoom = 1024;  // characters, with the terminating null

// What SaveHosts' walk over the table collects while it holds the table's lock.
// Registry value names ignore letter case: names that differ only in case are one value.
bool ContainsIgnoringCase(const std::vector<std::wstring>& names, const std::wstring& name) {
    for (const auto& known : names) {
        if (::_wcsicmp(known.c_str(), name.c_str()) == 0) return true;
    }
    return false;
}

// What SaveHosts' walk over the table collects while it holds the table's lock.
struct SaveWalk {
    HKEY key;
    std::vector<std::wstring> presentNames;  // every host present, friend or not
    std::vector<std::wstring> writtenNames;
};

// Writes one friend. Of friends whose names differ only in letter case the first to arrive is
// stored whole; a later one would overwrite its nick under the first one's spelling.
void WriteValue(SaveWalk& walk, const std::wstring& name, const std::wstring& nick) {
    if (ContainsIgnoringCase(walk.writtenNames, name)) return;
    walk.writtenNames.push_back(name);
    const DWORD bytes = static_cast<DWORD>((nick.size() + 1) * sizeof(wchar_t));
    ::RegSetValueExW(walk.key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(nick.c_str()), bytes);
}

void WriteFriend(const HostInfo& host, void* context) {
    auto& walk = *static_cast<SaveWalk*>(context);
    walk.presentNames.push_back(host.Name);
    if (host.Friend) WriteValue(walk, host.Name, host.Nick);
}

}  // namespace

BOOL CSettings::LoadHosts() {
    // Read into a map of our own first: discovery may already be adding hosts, which read
    // FriendNicks under the table's lock, and the registry is not read under that lock.
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
        key.Close();
    }
    if (m_hostTable) {
        auto lock = m_hostTable->Lock();
        FriendNicks.swap(loaded);
    } else {
        FriendNicks.swap(loaded);
    }
    return TRUE;
}

BOOL CSettings::SaveHosts() {
    if (!m_hostTable) return TRUE;
    return SaveHosts(*m_hostTable);
}

BOOL CSettings::SaveHosts(Hosts& hosts) {
    RegKey settings;
    if (settings.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        settings.DeleteSubtree(kHostsSubkey);  // a failure here leaves old values to be overwritten
        settings.Close();
    }
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kHostsKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return TRUE;

    SaveWalk walk{key.Get(), {}, {}};
    hosts.ForEachHost(&WriteFriend, &walk);

    // Friends that are away keep their place: a friend is forgotten only when the user clears
    // its mark (SetFriend removes it from the map), not because it was offline at this moment.
    // Only this thread changes the map while the server runs, so it is read here without the lock.
    for (const auto& [name, nick] : FriendNicks) {
        if (!ContainsIgnoringCase(walk.presentNames, name)) WriteValue(walk, name, nick);
    }
    return TRUE;
}

BOOL CSettings::SaveNick(const wchar_t* name, const wchar_t* nick) {
    BOOL result = FALSE;
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kHostsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        result = key.SetString(name, nick) == ERROR_SUCCESS ? TRUE : FALSE;
        if (result) FriendNicks[name] = nick;
        key.Close();
    }
    ExTrace(L"SaveNick res=%d;  lasterr=%d", result, static_cast<int>(::GetLastError()));
    return result;
}
