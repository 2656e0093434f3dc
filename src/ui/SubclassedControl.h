// A system control (list box, edit) whose messages pass through an object first: the object
// handles what it wants and hands the rest to the control's own window procedure. The object is
// unhooked at WM_NCDESTROY or when it goes, whichever comes first. Main thread.
#pragma once

#include <windows.h>

class CSubclassedControl {
public:
    CSubclassedControl() = default;
    CSubclassedControl(const CSubclassedControl&) = delete;
    CSubclassedControl& operator=(const CSubclassedControl&) = delete;
    virtual ~CSubclassedControl();

    // Creates the control and routes its messages through this object.
    bool CreateControl(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                       HWND parent, int id);
    void DestroyControl();

    [[nodiscard]] HWND Hwnd() const noexcept { return m_hwnd; }

protected:
    virtual LRESULT ControlProc(UINT message, WPARAM wParam, LPARAM lParam) {
        return CallDefault(message, wParam, lParam);
    }
    LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::CallWindowProcW(m_original, m_hwnd, message, wParam, lParam);
    }
    // After the control's last message; the handle is already cleared.
    virtual void OnControlGone() {}

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND m_hwnd = nullptr;
    WNDPROC m_original = nullptr;
};
