// The hidden window: the program's anchor on the window manager and the application's main
// window (its destruction ends the message loop). It is never shown (no size; the tray menu
// shows it only while the menu is open). Its one job is dispatch: it is where the system, the
// shell and a second start of the program reach the running copy, and it hands each message to
// the part that does the work:
//   WM_RENDERFORMAT                          -> CRemoteClipboard::Render (then WM_RENDERED -> OnRendered)
//   WM_TRAYNOTIFY (right click)              -> the main window if open, else CTrayController::Track
//   WM_OPENMAINWINDOW (second start)         -> CMainWndOwner::Open
//   WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN, WM_TIMER -> CClipboardChain
//   "TaskbarCreated" (the task bar restarted)   -> the tray icon added again
// It acts on the tray menu's commands itself: lock toggle, exit, open the main window, take a host.
//
// Threads: every handler runs on the main thread, which owns the window; nothing here takes a
// lock. State that other threads see is guarded where it lives: the host events' window (an
// atomic, read by the threads that change the host table), the pending formats (their own lock,
// read by the serving threads) and the settings' lock flag (a relaxed atomic).
#pragma once

#include <windows.h>

#include "clipboard/ClipboardChain.h"
#include "clipboard/RemoteClipboard.h"
#include "framework/Window.h"
#include "ui/HostEvents.h"
#include "ui/MainWndOwner.h"
#include "ui/TrayController.h"

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
    [[nodiscard]] CMainWnd* MainWnd() const noexcept { return m_mainWnd.Get(); }

    // The host table's listener: installed for the run by the application, it tells the main
    // window (while there is one) of host changes.
    [[nodiscard]] CHostEvents& HostEvents() noexcept { return m_hostEvents; }

    // The tray icon, after the settings' lock state.
    void AddTrayIcon() { m_tray.Add(Hwnd()); }
    [[nodiscard]] const CTrayIcon& TrayIcon() const noexcept { return m_tray.Icon(); }
    // "Lock": toggles the lock state and shows it in the tray icon. Not saved.
    void ToggleLock();
    // Makes the host's clipboard the local one (CRemoteClipboard::Take); a failure is told to the
    // user. Host 0 only forgets the current remote host.
    void TakeRemoteClipboard(DWORD host);
    [[nodiscard]] DWORD CurrentRemoteHost() const noexcept { return m_remote.CurrentHost(); }
    // The remote formats this window owns and renders.
    [[nodiscard]] CRemoteClipboard& RemoteClipboard() noexcept { return m_remote; }

    // "Exit": shuts the server down (goodbye broadcast, sockets closed, host table emptied),
    // removes the tray icon and destroys this window, which ends the message loop.
    void Exit();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnTrayNotify(UINT mouseMessage);
    void OnTrayCommand(UINT command);
    // A remote request failed: the "TaskFailed" sound and the coordinator's status text.
    static void ReportFailure();

    CHostEvents m_hostEvents;
    CRemoteClipboard m_remote;
    CMainWndOwner m_mainWnd;
    CClipboardChain m_chain;
    CTrayController m_tray;
    const UINT m_taskbarCreated;   // sent to top-level windows when the task bar (re)starts
};
