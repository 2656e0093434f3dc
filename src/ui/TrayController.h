// The tray: the notification-area icon, which shows the settings' lock state, and its menu,
// listing the known hosts above the fixed items. The hidden window owns one controller, calls it
// from its handlers and acts on the command that the menu returns.
//
// Threads: main thread only (the hidden window's). The host list is copied from the host table
// under the table's own lock; the settings' flags are read without one (relaxed atomics).
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"

class CSettings;
class Hosts;

class CTrayController {
public:
    CTrayController(const CSettings& settings, const Hosts& hosts) noexcept : m_settings(settings), m_hosts(hosts) {}

    // Adds the icon for the owner window after the lock state (again, after the task bar restarted).
    void Add(HWND owner);
    // Shows a changed lock state in the icon.
    void ShowLock();
    void Remove();
    [[nodiscard]] bool IsAdded() const noexcept { return m_icon.IsAdded(); }
    [[nodiscard]] const CTrayIcon& Icon() const noexcept { return m_icon; }

    // Opens the menu at the cursor, readied for this opening (hosts, "Lock" checked, friends
    // only after the setting), and runs it for the owner window. Returns the chosen command, 0 if
    // none; a host's command gives its address through HostOfCommand.
    UINT Track(HWND owner);
    [[nodiscard]] std::optional<DWORD> HostOfCommand(UINT command) const { return m_menu.HostAddress(command); }

private:
    // The known hosts for the menu, in the host table's order.
    std::vector<TrayMenuHost> ListHosts() const;

    const CSettings& m_settings;
    const Hosts& m_hosts;
    CTrayIcon m_icon;
    CTrayMenu m_menu;
};
