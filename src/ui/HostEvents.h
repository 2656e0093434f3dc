// CHostEvents: the user interface's listener on the host table. It plays the "new friend" sound
// when a host arrives and posts WM_HOSTADDED, WM_HOSTREMOVED and WM_HOSTCHANGED to the main
// window while there is one. Called on the thread that changed the table, under its lock (see
// protocol/HostsListener.h); the window is set and cleared on the main thread (atomic).
#pragma once

#include <windows.h>

#include <atomic>

#include "protocol/HostsListener.h"

class CHostEvents final : public IHostsListener {
public:
    // The window told of changes (the main window while it exists), or none.
    void SetWindow(HWND window) noexcept { m_window.store(window); }

    void HostAdded(DWORD address, const wchar_t* name) override;
    void HostRemoved(DWORD address) override;
    void HostChanged(DWORD address, BOOL isFriend) override;

private:
    void Post(UINT message, WPARAM wParam, LPARAM lParam) const;

    std::atomic<HWND> m_window{nullptr};
};
