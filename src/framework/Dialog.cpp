#include "framework/Dialog.h"

#include <exception>

#include "framework/Window.h"
#include "runtime/Trace.h"

CDialog::~CDialog() {
    // A modal dialog has ended before DoModal returned; only a dialog whose thread died is left.
    if (m_hwnd) ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
}

INT_PTR CDialog::DoModal() {
    const INT_PTR result = ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(m_templateId), m_parent,
                                             &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (result == -1) ExTrace(L"Dialog %u: DialogBoxParam failed with %d", m_templateId, static_cast<int>(::GetLastError()));
    return result;
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hwnd) ::EndDialog(m_hwnd, result);
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

BOOL CDialog::OnCommand(WORD id, WORD, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(id);
        return TRUE;
    }
    return FALSE;
}

BOOL CDialog::OnDrawItem(const DRAWITEMSTRUCT&) {
    return FALSE;
}

INT_PTR CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            return lParam ? OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) : FALSE;
        default:
            return FALSE;
    }
}

void CDialog::SetMessageResult(LRESULT result) noexcept {
    if (m_hwnd) ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        auto* created = reinterpret_cast<CDialog*>(lParam);
        created->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, WM_CREATE, ...) find no object: default handling.
    auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        ExTrace(L"Dialog: exception in message %u: %S", message, e.what());
        result = FALSE;
    } catch (...) {
        ExTrace(L"Dialog: exception in message %u", message);
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
    }
    return result;
}
