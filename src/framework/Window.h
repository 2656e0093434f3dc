// Base class of the program's windows: registers a class, creates the window and dispatches
// its messages to the concrete window's WindowProc. The object is attached before the first message and
// detached at WM_NCDESTROY, so no message reaches an object that is gone; exceptions never
// cross into user32 (they are traced and the message falls back to DefWindowProcW).
#pragma once

#include <windows.h>

#include <string>

#include "runtime/Module.h"

class CWindow {
public:
    CWindow() = default;
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;
    virtual ~CWindow();

    // True if a class of that name is already registered for this module or registration succeeds.
    static bool RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                    HBRUSH background, HICON icon);

    // CreateWindowExW with this object attached. Returns whether the window was created.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                  int x, int y, int width, int height, HWND parent, HMENU menu = nullptr);
    // Destroys the window if it exists (the object stays). Windows that must do something
    // before their window goes (leave a chain, remove an icon) override it.
    virtual void DestroyWindow();

    [[nodiscard]] HWND Hwnd() const noexcept { return m_hwnd; }
    [[nodiscard]] bool IsWindowValid() const noexcept { return m_hwnd && ::IsWindow(m_hwnd); }

    // Centres the window on the work area of its monitor.
    void CenterWindow();

protected:
    // The concrete window's message handling; call DefaultProc for what it does not handle.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
    // Called after the last message (WM_NCDESTROY); the handle is already cleared.
    virtual void OnFinalDestroy() {}

private:
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) noexcept;
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND m_hwnd = nullptr;
};

// Centres a top-level window on the work area of its monitor (keeps its size and z-order).
void CenterOnScreen(HWND hwnd);

// A window's whole text (empty for no window).
std::wstring WindowText(HWND hwnd);
