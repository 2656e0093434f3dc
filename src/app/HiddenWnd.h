// The hidden window: the program's anchor on the window manager and the application's main
// window (its destruction ends the message loop). It is never shown (no size; the tray menu
// shows it only while the menu is open). It owns the tray icon and its menu and the main window
// object, answers a second start of the program (WM_OPENMAINWINDOW), and is the program's place
// in the clipboard viewer chain, and the owner of a remote host's formats placed on the clipboard,
// which it renders on paste. Everything here runs on the main thread.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "clipboard/ClipboardChain.h"
#include "framework/Window.h"
#include "ui/HostEvents.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"

class CMainWnd;

class CHiddenWnd : public CWindow {
public:
    CHiddenWnd();
    ~CHiddenWnd() override;

    // Registers "Pelko Hidden Window Class" and creates the window. True if it was created.
    bool Create();
    // Leaves what the window has joined, then destroys it.
    void DestroyWindow() override;

    // The main window object while its window exists, else null.
    [[nodiscard]] CMainWnd* MainWnd() const noexcept { return m_mainWnd.get(); }
    [[nodiscard]] bool MainWindowExists() const noexcept;
    // Creates, centres, shows and raises the main window. On failure tells the user
    // "Failed to create main window" and the program goes on without it.
    bool CreateMainWindow();
    // A second start, or the tray: raise the main window if it exists, else create it.
    void OpenMainWindow();

    // The host table's listener: installed for the run by the application, it tells the main
    // window (while there is one) of host changes.
    [[nodiscard]] CHostEvents& HostEvents() noexcept { return m_hostEvents; }

    // The tray icon, after the settings' lock state.
    void AddTrayIcon();
    [[nodiscard]] const CTrayIcon& TrayIcon() const noexcept { return m_trayIcon; }
    // "Lock": toggles the lock state and shows it in the tray icon. Not saved.
    void ToggleLock();
    // Makes the host's clipboard the local one: its format list is fetched and promised with
    // delayed rendering. Host 0 only forgets the current remote host.
    void TakeRemoteClipboard(DWORD host);
    [[nodiscard]] DWORD CurrentRemoteHost() const noexcept { return m_currentHost; }

    // "Exit": shuts the server down (goodbye broadcast, sockets closed, host table emptied),
    // removes the tray icon and destroys this window, which ends the message loop.
    void Exit();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnTrayNotify(UINT mouseMessage);
    void OpenTrayMenu();
    void OnTrayCommand(UINT command);
    // WM_RENDERFORMAT: fetches one promised format from the host that placed it.
    void OnRenderFormat(UINT format);
    // Puts a fetched block (and a file list's companions) on the open clipboard. False when the
    // clipboard refused the block, which is then still the caller's.
    bool SetFetchedData(UINT format, HGLOBAL data);
    // A block that arrived after the pasting application stopped waiting: onto the clipboard
    // all the same while this window owns it, else freed.
    void KeepLateData(UINT format, HGLOBAL data);
    // The known hosts for the tray menu, in the host table's order.
    std::vector<TrayMenuHost> ListTrayHosts() const;

    CHostEvents m_hostEvents;
    std::unique_ptr<CMainWnd> m_mainWnd;
    CClipboardChain m_chain;
    CTrayIcon m_trayIcon;
    CTrayMenu m_trayMenu;
    DWORD m_currentHost = 0;       // whose clipboard was asked for last (pastes: CServer::PlacedHost)
    const UINT m_taskbarCreated;   // sent to top-level windows when the task bar (re)starts
};
