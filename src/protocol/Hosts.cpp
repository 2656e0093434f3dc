// The host table's operations. AddHost and RemoveHost run on the discovery socket's thread,
// RemoveAll and the rest on the main thread (GetHost also on serving threads). Every operation
// but SetListener holds m_lock, for its whole run unless it reads or writes the registry,
// and catches whatever is raised inside so that the table stays usable.
#include "protocol/Hosts.h"

#include <cwchar>
#include <new>

#include "runtime/Trace.h"

Hosts::~Hosts() {
    RemoveAll();
}

int Hosts::IndexOf(DWORD address) const {
    for (int i = static_cast<int>(m_hosts.size()) - 1; i >= 0; --i) {
        if (m_hosts[static_cast<size_t>(i)]->Address == address) return i;
    }
    return -1;
}

BOOL Hosts::AddHost(DWORD address, const wchar_t* name) {
    if (!name) return FALSE;
    try {
        // A host hears its own announcements: it never lists itself.
        wchar_t local[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
        if (::GetComputerNameW(local, &length) && ::_wcsicmp(name, local) == 0) return TRUE;

        CriticalSectionLock lock(m_lock);
        // Already present: the first name and friend state stay.
        if (IndexOf(address) >= 0) return TRUE;

        auto host = std::make_unique<HostInfo>();
        host->Address = address;
        host->Name = name;
        host->Nick = name;
        const auto stored = m_friendNicks.find(host->Name);
        if (stored != m_friendNicks.end()) {
            host->Nick = stored->second;
            host->Friend = TRUE;
        }
        ExTrace(L"Hosts: AddHost [%s]", host->Name.c_str());
        const HostInfo& added = *host;
        m_hosts.push_back(std::move(host));
        if (IHostsListener* listener = m_listener.load()) listener->HostAdded(address, added.Name.c_str());
        return TRUE;
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::AddHost");
        return FALSE;
    }
}

void Hosts::RemoveHost(DWORD address) {
    try {
        CriticalSectionLock lock(m_lock);
        const int index = IndexOf(address);
        if (index < 0) return;
        m_hosts.erase(m_hosts.begin() + index);
        if (IHostsListener* listener = m_listener.load()) listener->HostRemoved(address);
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::RemoveHost");
    }
}

BOOL Hosts::SetFriend(DWORD address, BOOL isFriend) {
    try {
        CriticalSectionLock lock(m_lock);
        const int index = IndexOf(address);
        if (index < 0) return FALSE;
        HostInfo& host = *m_hosts[static_cast<size_t>(index)];
        host.Friend = isFriend ? TRUE : FALSE;
        // The map is the set of friends known in this run: a new friend that leaves and comes
        // back before the next start is still recognised, an unmarked one is not.
        if (host.Friend)
            m_friendNicks[host.Name] = host.Nick;
        else
            m_friendNicks.erase(host.Name);
        if (IHostsListener* listener = m_listener.load()) listener->HostChanged(address, host.Friend);
        return TRUE;
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::SetFriend");
        return FALSE;
    }
}

BOOL Hosts::RenameHost(DWORD address, const wchar_t* nick) {
    try {
        std::wstring name;
        {
            CriticalSectionLock lock(m_lock);
            const int index = IndexOf(address);
            if (index < 0) return FALSE;
            HostInfo& host = *m_hosts[static_cast<size_t>(index)];
            // Only friends are stored, and the store is what makes a host a friend at the next
            // start: a stranger keeps its new nick in its record only (SetFriend carries it into
            // the map).
            if (!host.Friend) {
                host.Nick = nick;
                return TRUE;
            }
            name = host.Name;
        }
        // Stored outside the lock, so that discovery never waits on the registry. Only the main
        // thread marks and renames, so the host is still a friend here (it may have left).
        if (!SaveFriendNick(name.c_str(), nick)) return FALSE;
        CriticalSectionLock lock(m_lock);
        m_friendNicks[name] = nick;
        const int index = IndexOf(address);
        if (index >= 0 && m_hosts[static_cast<size_t>(index)]->Name == name) m_hosts[static_cast<size_t>(index)]->Nick = nick;
        return TRUE;
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::RenameHost");
        return FALSE;
    }
}

BOOL Hosts::GetHost(DWORD address, HostInfo& host) const {
    try {
        CriticalSectionLock lock(m_lock);
        const int index = IndexOf(address);
        if (index < 0) return FALSE;
        host = *m_hosts[static_cast<size_t>(index)];
        return TRUE;
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::GetHost");
        return FALSE;
    }
}

BOOL Hosts::ForEachHost(HostCallback callback, void* context) const {
    if (!callback) return FALSE;
    try {
        CriticalSectionLock lock(m_lock);
        for (const auto& host : m_hosts) callback(*host, context);
        return TRUE;
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::ForEachHost");
        return FALSE;
    }
}

int Hosts::FindNick(const wchar_t* nick, DWORD exceptAddress) const {
    try {
        CriticalSectionLock lock(m_lock);
        for (int i = static_cast<int>(m_hosts.size()) - 1; i >= 0; --i) {
            const HostInfo& host = *m_hosts[static_cast<size_t>(i)];
            if (host.Address != exceptAddress && ::_wcsicmp(host.Nick.c_str(), nick) == 0) return i;
        }
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::FindNick");
    }
    return -1;
}

void Hosts::RemoveAll() {
    try {
        CriticalSectionLock lock(m_lock);
        while (!m_hosts.empty()) m_hosts.pop_back();  // from the last record to the first
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::RemoveAll");
    }
}

BOOL Hosts::LoadFriends() {
    try {
        FriendNickMap loaded;
        LoadFriendStore(loaded);   // outside the lock: discovery may be adding hosts meanwhile
        CriticalSectionLock lock(m_lock);
        m_friendNicks.swap(loaded);
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::LoadFriends");
    }
    return TRUE;
}

BOOL Hosts::SaveFriends() {
    try {
        std::vector<StoredFriend> friends;
        {
            CriticalSectionLock lock(m_lock);
            // Registry value names ignore letter case, so does "present".
            auto present = [this](const std::wstring& name) {
                for (const auto& host : m_hosts)
                    if (::_wcsicmp(host->Name.c_str(), name.c_str()) == 0) return true;
                return false;
            };
            for (const auto& host : m_hosts)
                if (host->Friend) friends.push_back({host->Name, host->Nick});
            // Friends that are away keep their place: a friend is forgotten only when the user
            // clears its mark (SetFriend removes it from the map), not because it is offline now.
            for (const auto& [name, nick] : m_friendNicks)
                if (!present(name)) friends.push_back({name, nick});
        }
        SaveFriendStore(friends);
    } catch (...) {
        ExTrace(L"Exception caught in Hosts::SaveFriends");
    }
    return TRUE;
}

FriendNickMap Hosts::Friends() const {
    CriticalSectionLock lock(m_lock);
    return m_friendNicks;
}

size_t Hosts::Count() const {
    CriticalSectionLock lock(m_lock);
    return m_hosts.size();
}
