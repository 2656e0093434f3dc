#include "ui/HostListEdit.h"

#include <windowsx.h>

#include "framework/Window.h"
#include "skin/Skin.h"
#include "ui/UiMessages.h"

bool CHostListEdit::Open(HWND list, const RECT& rect, const std::wstring& text, int limit) {
    m_list = list;
    m_finished = false;
    if (!CreateControl(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_WANTRETURN, rect, list, 1)) return false;
    ::SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
    ::SendMessageW(Hwnd(), EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    ::SetWindowTextW(Hwnd(), text.c_str());
    ::SendMessageW(Hwnd(), EM_SETSEL, 0, -1);
    ::SendMessageW(Hwnd(), EM_SCROLLCARET, 0, 0);
    ::SetFocus(Hwnd());
    ::SetCapture(Hwnd());
    return true;
}

std::wstring CHostListEdit::Text() const { return WindowText(Hwnd()); }

void CHostListEdit::Close() {
    m_finished = true;   // the focus that goes with the window is no cancel
    if (::GetCapture() == Hwnd()) ::ReleaseCapture();
    DestroyControl();
}

void CHostListEdit::Finish(bool accept) {
    if (m_finished) return;
    m_finished = true;
    ::SendMessageW(m_list, WM_LISTEDITDONE, accept ? 1 : 0, 0);
}

LRESULT CHostListEdit::ControlProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                Finish(wParam == VK_RETURN);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) return 0;   // no beep, no line break
            break;
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | CallDefault(message, wParam, lParam);
        case WM_KILLFOCUS:
            CallDefault(message, wParam, lParam);
            Finish(false);
            return 0;
        case WM_LBUTTONDOWN: {
            // The editor holds the mouse: a press outside it is the user leaving the edit.
            RECT client{};
            ::GetClientRect(Hwnd(), &client);
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (!::PtInRect(&client, at)) {
                Finish(false);
                return 0;
            }
            break;
        }
        default:
            break;
    }
    return CallDefault(message, wParam, lParam);
}
