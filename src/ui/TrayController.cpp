#include "ui/TrayController.h"

#include "protocol/Hosts.h"
#include "settings/Settings.h"

void CTrayController::Add(HWND owner) {
    m_icon.Add(owner, m_settings.Locked != FALSE);
}

void CTrayController::ShowLock() {
    m_icon.SetLocked(m_settings.Locked != FALSE);
}

void CTrayController::Remove() {
    m_icon.Delete();
}

std::vector<TrayMenuHost> CTrayController::ListHosts() const {
    // The callback runs under the host table's lock: it only copies.
    std::vector<TrayMenuHost> hosts;
    m_hosts.ForEachHost(
        [](const HostInfo& host, void* context) {
            static_cast<std::vector<TrayMenuHost>*>(context)->push_back({host.Nick, host.Address, host.Friend != FALSE});
        },
        &hosts);
    return hosts;
}

UINT CTrayController::Track(HWND owner) {
    if (!m_menu.Load()) return 0;
    POINT cursor{};
    if (!::GetCursorPos(&cursor) || !m_menu.Popup()) return 0;
    m_menu.Prepare(m_settings.Locked != FALSE, m_settings.ShowFriendsOnly != FALSE, ListHosts());
    // Shown (with no size) and in the foreground, the owner lets the menu close when the user
    // clicks elsewhere.
    ::ShowWindow(owner, SW_SHOW);
    ::SetForegroundWindow(owner);
    const UINT command = m_menu.Track(owner, cursor);
    ::ShowWindow(owner, SW_HIDE);
    return command;
}
