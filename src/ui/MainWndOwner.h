// The main window's lifetime: it exists only while it is open. Created on demand (the tray
// menu, a second start of the program), raised when asked again, and freed when its window is
// gone. The hidden window owns one.
//
// Threads: main thread only; no lock. The host events' window pointer, which the main window
// sets and clears, is an atomic read by the threads that change the host table.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

class CHostEvents;
class CMainWnd;

class CMainWndOwner {
public:
    // events: the host table's listener, which tells the window of host changes while it is
    // open; take: called with a host's address when the user takes that host's clipboard.
    CMainWndOwner(CHostEvents& events, std::function<void(DWORD)> take);
    // The window object (if any) goes first; its window goes with it without calling back.
    ~CMainWndOwner();
    CMainWndOwner(const CMainWndOwner&) = delete;
    CMainWndOwner& operator=(const CMainWndOwner&) = delete;

    // The main window object while its window exists, else null.
    [[nodiscard]] CMainWnd* Get() const noexcept { return m_wnd.get(); }
    [[nodiscard]] bool Exists() const noexcept;
    // Creates, centres, shows and raises the main window. On failure tells the user
    // "Failed to create main window" and the program goes on without it.
    bool Create();
    // Raises the main window if it exists, else creates it.
    void Open();

private:
    CHostEvents& m_events;
    std::function<void(DWORD)> m_take;
    std::unique_ptr<CMainWnd> m_wnd;
};
