// The main window: a borderless 500 x 300 popup, opened on demand from the tray menu or by a
// second start of the program, dragged by any point of its surface, closed by its close button
// in the top-right corner. Its object lives exactly as long as its window: when the window is
// gone the owner's "on gone" callback runs, which frees the object. Main thread.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/Window.h"

class CMainWnd : public CWindow {
public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 300;
    static constexpr DWORD kStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU;   // 0x86080000
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW;
    static constexpr int kCloseButtonId = 5;

    CMainWnd() = default;

    // Registers the window class and creates the window (not yet shown) at 0, 0, 500 x 300.
    bool Create();

    // Runs once the window has handled its last message; the callback may free this object.
    void SetOnGone(std::function<void()> onGone) { m_onGone = std::move(onGone); }

    // Draws the window's surface into any device context (the screen's, or a bitmap's).
    void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalDestroy() override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnCommand(WORD id);
    void OnPaint();
    void OnDestroy();

    std::function<void()> m_onGone;
};
