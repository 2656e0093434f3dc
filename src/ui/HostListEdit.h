// The in-place editor of a host list entry: a single-line edit that ends with Enter (accept),
// Escape or losing the focus (cancel), telling its list by WM_LISTEDITDONE exactly once.
// Main thread.
#pragma once

#include <windows.h>

#include <string>

#include "ui/SubclassedControl.h"

class CHostListEdit : public CSubclassedControl {
public:
    // Opens over `rect` in `list` with `text` selected, focused and holding the mouse.
    bool Open(HWND list, const RECT& rect, const std::wstring& text, int limit);
    [[nodiscard]] std::wstring Text() const;
    void Close();

protected:
    LRESULT ControlProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Finish(bool accept);

    HWND m_list = nullptr;
    bool m_finished = false;
};
