#include "ui/TrayMenu.h"

#include "framework/Window.h"
#include "resource.h"

bool CTrayMenu::Load() {
    if (!m_menu) m_menu.Reset(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    return m_menu.IsValid();
}

HMENU CTrayMenu::Popup() const noexcept {
    return m_menu ? ::GetSubMenu(m_menu.Get(), 0) : nullptr;
}

UINT CTrayMenu::NextHostCommand(UINT command) noexcept {
    ++command;
    while (command == ID_TRAY_EXIT || command == ID_TRAY_OPEN_MAIN || command == ID_TRAY_LOCK) ++command;
    return command;
}

void CTrayMenu::Prepare(bool locked, bool friendsOnly, const std::vector<TrayMenuHost>& hosts) {
    HMENU popup = Popup();
    if (!popup) return;
    while (::GetMenuItemCount(popup) > kFixedItemCount) {
        if (!::DeleteMenu(popup, 0, MF_BYPOSITION)) break;
    }
    ::CheckMenuItem(popup, ID_TRAY_LOCK, MF_BYCOMMAND | (locked ? MF_CHECKED : MF_UNCHECKED));

    UINT command = ID_TRAY_FIRST_HOST;
    for (const TrayMenuHost& host : hosts) {
        if (friendsOnly && !host.isFriend) continue;
        // Command ids travel in 16 bits through the menu: no more hosts than fit.
        if (command > 0xFFFF) break;
        if (::InsertMenuW(popup, 0, MF_BYPOSITION | MF_STRING, command, host.nick.c_str())) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_DATA;
            info.dwItemData = host.address;
            ::SetMenuItemInfoW(popup, 0, TRUE, &info);
        }
        command = NextHostCommand(command);
    }
}

UINT CTrayMenu::Track(HWND owner, POINT at) const {
    HMENU popup = Popup();
    if (!popup) return 0;
    return static_cast<UINT>(::TrackPopupMenu(popup, TPM_RETURNCMD | TPM_BOTTOMALIGN | TPM_RIGHTALIGN, at.x, at.y, 0,
                                              owner, nullptr));
}

std::optional<DWORD> CTrayMenu::HostAddress(UINT command) const {
    HMENU popup = Popup();
    if (!popup) return std::nullopt;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    if (!::GetMenuItemInfoW(popup, command, FALSE, &info)) return std::nullopt;
    return static_cast<DWORD>(info.dwItemData);
}
