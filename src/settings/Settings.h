// The settings record: the program's options, read by every subsystem without a lock, loaded
// from and saved to the registry (HKEY_LOCAL_MACHINE\Software\Pelko and the Run entry).
// Only the main thread writes the option fields; other threads read them (relaxed atomics).
// FriendNicks is changed only under the host table's lock (and while the server starts).
#pragma once

#include <windows.h>

#include "settings/Relaxed.h"

#include <string>
#include <unordered_map>

class Hosts;

// Friends' computer names mapped to their nick names. Keys compare exactly as stored.
using FriendNickMap = std::unordered_map<std::wstring, std::wstring>;

class CSettings {
public:
    CSettings();
    virtual ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    BOOL Load();
    BOOL Save();

    // The program's sound events for the current user, registered once (SoundEvents.cpp).
    void RegisterSoundEvents();

    // Friends and nick names (HKEY_LOCAL_MACHINE\Software\Pelko\Hosts, HostStore.cpp).
    BOOL LoadHosts();
    // Rewrites the store from the host table given by SetHostTable (nothing is written without one).
    BOOL SaveHosts();
    BOOL SaveHosts(Hosts& hosts);
    BOOL SaveNick(const wchar_t* name, const wchar_t* nick);
    // The host table that SaveHosts() walks: the server coordinator's, set when it is built.
    void SetHostTable(Hosts* hosts) noexcept { m_hostTable = hosts; }

    Relaxed<DWORD> Timeout = 0;
    Relaxed<DWORD> UDPPort = 4000;
    Relaxed<DWORD> TCPPort = 4001;
    Relaxed<COLORREF> BaseColor = 0;
    FriendNickMap FriendNicks;
    // Written once, by the first Load (at start-up, before the threads that read it exist).
    std::wstring LocalName;
    Relaxed<BOOL> Autorun = FALSE;
    Relaxed<BOOL> AddFilenameAsText = TRUE;
    Relaxed<BOOL> ConvertFilenameToUNC = TRUE;
    Relaxed<BOOL> AcceptFriendsOnly = FALSE;
    Relaxed<BOOL> ShowFriendsOnly = TRUE;
    Relaxed<BOOL> StartLocked = FALSE;
    Relaxed<BOOL> Locked = FALSE;

private:
    Hosts* m_hostTable = nullptr;
    // Locked follows StartLocked only at the first Load of the run (see Settings.cpp).
    bool m_lockStateLoaded = false;
};

// The process-wide settings record (defined with the other process-wide objects).
extern CSettings theSettings;
