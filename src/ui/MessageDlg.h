// The program's message box (dialog IDD_MESSAGE): an icon at the left, the text, "Ok" centred at the
// bottom and a small close button at the top right. It sizes itself to its text: the text sits
// 56 pixels from the left and 40 from the top, lines are broken to fit the screen's work area
// less 50 pixels on each side, and the box is the text plus 72 pixels wide and the text plus the
// button plus 64 pixels high. Every message looks the same whatever its style.
// Runs modally on the calling thread (the main thread in the program).
#pragma once

#include <windows.h>

#include <string>

#include "framework/Dialog.h"

class CMessageDlg : public CDialog {
public:
    explicit CMessageDlg(HWND parent) noexcept;

    // Shows the text modally. Returns IDOK for "Ok", IDCANCEL for the close button or Escape,
    // -1 if the dialog could not be made.
    int Show(const wchar_t* text, UINT style);

    // Where the text is drawn (client coordinates), set when the box opens.
    [[nodiscard]] const RECT& TextRect() const noexcept { return m_textRect; }
    // Draws the box's surface (not its buttons) into any device context.
    void Paint(HDC dc, const RECT& client) const;

protected:
    BOOL OnInitDialog() override;
    BOOL OnDrawItem(const DRAWITEMSTRUCT& item) override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The font the text is measured and drawn with.
    HFONT TextFont() const;
    SIZE MeasureText() const;
    void FitToText();
    void OnPaint();

    std::wstring m_text;
    UINT m_style = 0;   // the caller's MB_ icon flags; kept, not shown differently
    RECT m_textRect{};
};
