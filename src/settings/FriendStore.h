// The friends store: HKEY_LOCAL_MACHINE\Software\Pelko\Hosts holds one REG_SZ value per friend,
// named by its computer name and holding its nick. Registry only: the host table (protocol/Hosts)
// owns the friends of a run and calls these outside its lock. Any thread; each call opens its
// own key.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

// Friends' computer names mapped to their nick names. Keys compare exactly as stored.
using FriendNickMap = std::unordered_map<std::wstring, std::wstring>;

struct StoredFriend {
    std::wstring name, nick;
};

// Replaces `friends` with the stored ones. Reading stops at the first value that does not fit
// (a name of 128 characters or more, a nick of 1024 or more): the rest is not read.
bool LoadFriendStore(FriendNickMap& friends);
// Rewrites the store with `friends`. Registry value names ignore letter case: of names that
// differ only in case the first is stored whole.
bool SaveFriendStore(const std::vector<StoredFriend>& friends);
// Stores one friend's nick; traces the outcome ("SaveNick res=...").
bool SaveFriendNick(const wchar_t* name, const wchar_t* nick);
