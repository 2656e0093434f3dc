// Drives the tray menu as a user would: right-click the icon (WM_TRAYNOTIFY with WM_RBUTTONUP to
// the hidden window), then, from a second thread, read the open menu and pick an item with the
// keyboard. The menu's modal loop runs on the calling thread until the pick.
#pragma once

#include <windows.h>

#include <thread>

#include "../support/UiWait.h"
#include "app/WindowMessages.h"
#include "resource.h"

namespace tray {

// Fixed items that the keyboard reaches from an unselected menu with one, two, three VK_DOWN.
enum class Pick { Dismiss = 0, Lock = 1, OpenMainWindow = 2, Exit = 3 };

// What the menu looked like when it was open.
struct Opening {
    bool opened = false;
    int itemCount = 0;
    bool lockChecked = false;
};

inline void PickFromOpenMenu(Pick pick, Opening& seen, const std::atomic<bool>* stop = nullptr) {
    HWND menuWindow = uitest::WaitForProcessWindow(L"#32768", {}, stop);
    if (!menuWindow) return;
    seen.opened = true;
    if (HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0))) {
        seen.itemCount = ::GetMenuItemCount(menu);
        seen.lockChecked = (::GetMenuState(menu, ID_TRAY_LOCK, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    if (pick == Pick::Dismiss) {
        uitest::PostKey(menuWindow, VK_ESCAPE);
    } else {
        for (int i = 0; i < static_cast<int>(pick); ++i) uitest::PostKey(menuWindow, VK_DOWN);
        uitest::PostKey(menuWindow, VK_RETURN);
    }
}

// Right-clicks the tray icon of the hidden window and picks; returns what the menu showed.
inline Opening RightClickAndPick(HWND hidden, Pick pick) {
    Opening seen;
    std::thread user([&] { PickFromOpenMenu(pick, seen); });
    ::SendMessageW(hidden, WM_TRAYNOTIFY, 1, WM_RBUTTONUP);
    user.join();
    return seen;
}

}  // namespace tray
