#include "ui/SubclassedControl.h"

#include "framework/Window.h"
#include "runtime/Trace.h"

namespace {
constexpr wchar_t kObjectProperty[] = L"Pelko.Control";
}

CSubclassedControl::~CSubclassedControl() {
    DestroyControl();
}

bool CSubclassedControl::CreateControl(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                                       const RECT& rect, HWND parent, int id) {
    if (m_hwnd) return false;
    HWND hwnd = ::CreateWindowExW(exStyle, className, text, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  ModuleInstance(), nullptr);
    if (!hwnd) return false;
    m_hwnd = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
    m_original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassedControl::StaticProc)));
    return true;
}

void CSubclassedControl::DestroyControl() {
    if (!m_hwnd) return;
    HWND hwnd = m_hwnd;
    // Hand the control back to its own procedure first, so no message reaches a dying object.
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
    ::RemovePropW(hwnd, kObjectProperty);
    m_hwnd = nullptr;
    ::DestroyWindow(hwnd);
}

LRESULT CALLBACK CSubclassedControl::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = static_cast<CSubclassedControl*>(::GetPropW(hwnd, kObjectProperty));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->ControlProc(message, wParam, lParam);
    } catch (...) {
        ExTrace(L"Control: exception in message %u", message);
        result = self->CallDefault(message, wParam, lParam);
    }
    if (message == WM_NCDESTROY && ::GetPropW(hwnd, kObjectProperty) == self) {
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_original));
        ::RemovePropW(hwnd, kObjectProperty);
        self->m_hwnd = nullptr;
        self->OnControlGone();   // may free the object
    }
    return result;
}
