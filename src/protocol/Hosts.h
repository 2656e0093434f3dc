// Hosts: the table of the other hosts present on the network, in order of arrival, and the
// friends known in this run (the friends store's map, kept up to date as the user marks, unmarks
// and renames). Discovery adds and removes hosts on its socket thread; the user interface reads
// the table, marks friends and renames hosts on the main thread. One critical section guards the
// records and the friends map; it is held while a notification is posted and while a ForEachHost
// callback runs, never while the registry is read or written. Changes are told to one listener
// (HostsListener.h), under the lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "protocol/HostInfo.h"
#include "protocol/HostsListener.h"
#include "runtime/Handles.h"
#include "settings/FriendStore.h"

class Hosts {
public:
    // Called for each record under the table's lock: read only, keep it short, and never add or
    // remove hosts from inside.
    using HostCallback = void (*)(const HostInfo& host, void* context);

    Hosts() = default;
    ~Hosts();
    Hosts(const Hosts&) = delete;
    Hosts& operator=(const Hosts&) = delete;

    // A host was heard. The local computer is never listed; an address already present keeps
    // its record unchanged. FALSE only when the record could not be made.
    BOOL AddHost(DWORD address, const wchar_t* name);
    // A host said goodbye. An unknown address changes nothing.
    void RemoveHost(DWORD address);
    // The user marked or unmarked a host as friend. FALSE when the address is unknown.
    BOOL SetFriend(DWORD address, BOOL isFriend);
    // The user gave a host a nick. A friend's is stored (SaveFriendNick) first and taken only if
    // that succeeded; a stranger's stays in its record (only friends are stored).
    // FALSE when the address is unknown or a friend's nick could not be stored.
    BOOL RenameHost(DWORD address, const wchar_t* nick);
    // Copies the record of `address` into `host`. FALSE when the address is unknown.
    BOOL GetHost(DWORD address, HostInfo& host) const;
    // Calls `callback` for every record in order of arrival. FALSE when no callback is given.
    BOOL ForEachHost(HostCallback callback, void* context) const;
    // Index of the last record, other than the one of `exceptAddress`, whose nick equals `nick`
    // ignoring letter case; -1 when there is none.
    int FindNick(const wchar_t* nick, DWORD exceptAddress) const;
    // Deletes every record (server shutdown). Posts nothing.
    void RemoveAll();
    // The listener told of additions, removals and friend changes (the user interface's), or
    // none. It must stay alive until it is replaced or removed.
    void SetListener(IHostsListener* listener) noexcept { m_listener.store(listener); }

    // Reads the friends store into the friends map (server start; discovery may already be
    // adding hosts, which take their friend mark and nick from the map).
    BOOL LoadFriends();
    // Rewrites the friends store: the friends present, in order of arrival, then the friends of
    // the map that are away (a friend is forgotten only when the user clears its mark).
    BOOL SaveFriends();
    // A copy of the friends map (for tests and diagnostics).
    [[nodiscard]] FriendNickMap Friends() const;

    // Number of records (for tests and diagnostics).
    [[nodiscard]] size_t Count() const;

private:
    // Index of the record with `address`, searching from the last; -1 when absent. Lock held.
    int IndexOf(DWORD address) const;
    mutable CriticalSection m_lock;
    std::vector<std::unique_ptr<HostInfo>> m_hosts;   // guarded by m_lock
    FriendNickMap m_friendNicks;                      // guarded by m_lock
    std::atomic<IHostsListener*> m_listener{nullptr};
};
