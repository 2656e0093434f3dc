// Modal dialogs from a dialog template resource of the program. DoModal runs the system's modal
// loop on the calling thread; the object is attached to the dialog window at WM_INITDIALOG and
// detached at WM_NCDESTROY, and no exception thrown by a handler crosses into user32 (it is
// traced and the message gets the default dialog handling).
//
// Handlers follow the dialog-procedure rule: return TRUE when the message was handled (and put
// a message's result with SetMessageResult where the message needs one), FALSE to let the
// system's dialog handling have it. Everything runs on the thread that called DoModal.
#pragma once

#include <windows.h>

class CDialog {
public:
    // templateId: the dialog resource; parent: the owner window (may be the desktop window).
    CDialog(UINT templateId, HWND parent) noexcept : m_templateId(templateId), m_parent(parent) {}
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;
    virtual ~CDialog();

    // Creates the dialog and runs it until EndDialog; returns the value given to EndDialog, or -1
    // if the dialog could not be created (for instance a missing template).
    INT_PTR DoModal();

    // The dialog window while it exists, else null.
    [[nodiscard]] HWND Hwnd() const noexcept { return m_hwnd; }
    [[nodiscard]] HWND Item(int id) const noexcept { return m_hwnd ? ::GetDlgItem(m_hwnd, id) : nullptr; }

    // Ends the modal loop; DoModal returns result.
    void EndDialog(INT_PTR result);

protected:
    // WM_INITDIALOG: the controls exist. TRUE lets the system give the focus to the first control.
    virtual BOOL OnInitDialog();
    // WM_COMMAND from a control (or IDOK/IDCANCEL from the dialog manager: Enter, Escape).
    // The default ends the dialog with IDOK or IDCANCEL and leaves everything else unhandled.
    virtual BOOL OnCommand(WORD id, WORD notifyCode, HWND control);
    // WM_DRAWITEM for an owner-drawn control; FALSE leaves it undrawn.
    virtual BOOL OnDrawItem(const DRAWITEMSTRUCT& item);

    // Every message after WM_INITDIALOG's arrival; the default sends the three above to their
    // handlers. Overrides call CDialog::WindowProc for what they do not handle.
    virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The result of the message being handled, for messages whose answer is not TRUE/FALSE
    // (WM_ERASEBKGND, WM_NCHITTEST, ...). Return TRUE from the handler after setting it.
    void SetMessageResult(LRESULT result) noexcept;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    UINT m_templateId;
    HWND m_parent;
    HWND m_hwnd = nullptr;
};
