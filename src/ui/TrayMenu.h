// The tray icon's pop-up menu (menu resource IDR_TRAY_MENU, first pop-up): the known hosts above the fixed
// items separator, "Lock", separator, "Open Main Window", "Exit". Host items are rebuilt at every
// opening; each carries the host's IPv4 address as item data. Main thread only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/Handles.h"

// A host as the menu lists it.
struct TrayMenuHost {
    std::wstring nick;      // the item's text
    DWORD address = 0;      // IPv4, host byte order: the item data
    bool isFriend = false;
};

class CTrayMenu {
public:
    static constexpr int kFixedItemCount = 5;

    // Loads the menu on the first call and keeps it. True while it is loaded.
    bool Load();
    // The tray pop-up, or null if the menu is not loaded.
    [[nodiscard]] HMENU Popup() const noexcept;

    // Readies the pop-up for an opening: removes the host items of the previous opening, checks
    // "Lock" after the lock state, and inserts the hosts, given in the host table's order, each
    // at the top (so the last host comes first), leaving out non-friends when friendsOnly is set.
    void Prepare(bool locked, bool friendsOnly, const std::vector<TrayMenuHost>& hosts);

    // Runs the menu at the point for the owner window; returns the chosen command, 0 if none.
    UINT Track(HWND owner, POINT at) const;

    // The address stored with a host item's command; empty if the item's data cannot be read.
    [[nodiscard]] std::optional<DWORD> HostAddress(UINT command) const;

    // Host item commands count up from 0x8000 in insertion order, stepping over the fixed ones.
    static UINT NextHostCommand(UINT command) noexcept;

private:
    UniqueMenu m_menu;
};
