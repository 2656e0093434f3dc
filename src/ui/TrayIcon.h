// The notification-area icon of the hidden window: id 1, callback message WM_TRAYNOTIFY, tip
// "Pelko Network Clipboard", icon IDI_PELKO_LOCKED while the local clipboard is locked and
// IDI_PELKO otherwise.
// Main thread only. The shell's results are returned but the program does not act on them.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "runtime/Handles.h"

class CTrayIcon {
public:
    // NIM_ADD for the owner window (also to put the icon back after the task bar restarted).
    BOOL Add(HWND owner, bool locked);
    // NIM_MODIFY of the icon alone, after a change of the lock state.
    BOOL SetLocked(bool locked);
    // NIM_DELETE.
    BOOL Delete();

    [[nodiscard]] bool IsAdded() const noexcept { return m_owner != nullptr; }
    // The icon resource the icon shows (IDI_PELKO or IDI_PELKO_LOCKED), 0 while no icon is added.
    [[nodiscard]] UINT IconId() const noexcept { return m_owner ? m_iconId : 0; }

    static constexpr UINT kIconUid = 1;

private:
    NOTIFYICONDATAW Data(UINT flags) const noexcept;
    void LoadIcon(bool locked);

    HWND m_owner = nullptr;
    UINT m_iconId = 0;
    UniqueIcon m_icon;   // kept while the shell shows it
};
