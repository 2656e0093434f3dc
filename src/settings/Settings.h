// The settings record: the program's options, read by every subsystem without a lock, loaded
// from and saved to the registry (HKEY_LOCAL_MACHINE\Software\Pelko and the Run entry).
// Only the main thread writes the option fields; other threads read them (relaxed atomics).
#pragma once

#include <windows.h>

#include "settings/Relaxed.h"

#include <string>

class CSettings {
public:
    CSettings();
    virtual ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    BOOL Load();
    BOOL Save();

    Relaxed<DWORD> Timeout = 0;
    Relaxed<DWORD> UDPPort = 4000;
    Relaxed<DWORD> TCPPort = 4001;
    Relaxed<COLORREF> BaseColor = 0;
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
    // Locked follows StartLocked only at the first Load of the run (see Settings.cpp).
    bool m_lockStateLoaded = false;
};

// The process-wide settings record (defined with the other process-wide objects).
extern CSettings theSettings;
