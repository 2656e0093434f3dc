// The main window: a borderless 500 x 300 popup, opened on demand from the tray menu or by a
// second start of the program, dragged by any point of its surface, closed by its close button
// in the top-right corner. Its object lives exactly as long as its window: when the window is
// gone the owner's "on gone" callback runs, which frees the object. Main thread.
#pragma once

#include <windows.h>

#include <array>
#include <functional>

#include "framework/Window.h"
#include "ui/AboutPage.h"
#include "ui/HostPages.h"
#include "ui/OptionsPage.h"

class CHostEvents;

class CMainWnd : public CWindow {
public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 300;
    static constexpr DWORD kStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU;   // 0x86080000
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW;
    static constexpr int kCloseButtonId = 5;
    static constexpr int kPageCount = 4;
    static constexpr RECT kPageMargins{145, 45, 20, 20};   // left, top; right and bottom from the edges

    CMainWnd() = default;

    // Registers the window class and creates the window (not yet shown) at 0, 0, 500 x 300.
    bool Create();

    // Runs once the window has handled its last message; the callback may free this object.
    void SetOnGone(std::function<void()> onGone) { m_onGone = std::move(onGone); }

    // Called with a host's address when the user takes that host's clipboard (Friends page).
    void SetOnTakeClipboard(std::function<void(DWORD)> take);
    // The host table's listener that tells this window of host changes while it exists.
    void SetHostEvents(CHostEvents* events) noexcept { m_hostEvents = events; }

    // Makes page `index` (0 Friends, 1 Remote Hosts, 2 Options, 3 About; -1 none) the current one.
    void SelectPage(int index);
    [[nodiscard]] int CurrentPage() const noexcept { return m_current; }
    [[nodiscard]] CPage& Page(int index) noexcept { return *m_pageTable[static_cast<size_t>(index)]; }
    [[nodiscard]] HWND TabButton(int index) const noexcept { return m_tabs[static_cast<size_t>(index)]; }

    // Draws the window's surface into any device context (the screen's, or a bitmap's).
    void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalDestroy() override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnCommand(WORD id);
    void OnPaint();
    void OnClose();
    void OnDestroy();
    void OnDrawItem(const DRAWITEMSTRUCT& item) const;
    void OnHostMessage(UINT message, DWORD address);

    std::array<HWND, kPageCount> m_tabs{};          // the tab buttons, children of the window
    std::array<bool, kPageCount> m_tabSelected{};   // the flag each tab button's drawing shows
    HWND m_closeButton = nullptr;
    CFriendsPage m_friends;
    CRemoteHostsPage m_remoteHosts;
    COptionsPage m_options;
    CAboutPage m_about;
    std::array<CPage*, kPageCount> m_pageTable{&m_friends, &m_remoteHosts, &m_options, &m_about};
    int m_current = -1;
    static constexpr UINT_PTR kDeferredCloseTimer = 1;
    static constexpr UINT kDeferredCloseMs = 100;
    std::function<void()> m_onGone;
    CHostEvents* m_hostEvents = nullptr;
};
