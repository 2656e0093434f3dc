// The base of the main window's four pages: a child window that is told when it becomes the
// current page and when it stops being it, and, while current, of the hosts that come, go and
// change. Each page paints itself through Paint, double-buffered. Main thread.
#pragma once

#include <windows.h>

#include "framework/Window.h"

class CPage : public CWindow {
public:
    // Creates the page as a hidden child of `parent` at `rect` with the control id `id`.
    bool Create(const RECT& rect, HWND parent, int id);

    virtual void OnShowPage() {}
    virtual void OnHidePage() {}
    virtual void OnHostAdded(DWORD /*address*/) {}
    virtual void OnHostRemoved(DWORD /*address*/) {}
    virtual void OnHostChanged(DWORD /*address*/) {}

    // Draws the page's own surface (not its child controls) into any device context.
    virtual void Paint(HDC dc, const RECT& client) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The page's messages beyond painting; `handled` is cleared for those it leaves alone.
    virtual LRESULT OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCreatePage() { return 0; }
};
