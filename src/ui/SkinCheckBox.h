// A skinned check box: an owner-drawn button that holds its own check flag. Every click, the
// second click of a double click included, toggles the flag and repaints it. Its parent passes
// the button's WM_DRAWITEM on to Draw and its notifications (WM_COMMAND) to OnNotify. Main thread.
#pragma once

#include <windows.h>

#include "ui/SubclassedControl.h"

class CSkinCheckBox : public CSubclassedControl {
public:
    bool Create(const wchar_t* text, const RECT& rect, HWND parent, int id);
    void SetCheck(BOOL checked);
    [[nodiscard]] BOOL GetCheck() const noexcept { return m_checked; }
    void Draw(const DRAWITEMSTRUCT& item) const;
    // BN_CLICKED and BN_DOUBLECLICKED (a fast second click) each toggle the flag.
    void OnNotify(WORD code);

private:
    BOOL m_checked = FALSE;
};
