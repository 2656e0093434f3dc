#include "ui/MainWnd.h"

#include "app/WindowMessages.h"
#include "framework/PaintBuffer.h"
#include "resource.h"
#include "ui/PlainDrawing.h"

namespace {
// The panel behind the tab buttons, inset from the window's left, top and bottom edges.
constexpr RECT kPanelInset{10, 30, 130, 10};

HICON LoadAppIcon(int size) {
    return static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PELKO), IMAGE_ICON, size, size, LR_SHARED));
}
}  // namespace

bool CMainWnd::Create() {
    // The skin's base-colour brush becomes the class background once the skin exists.
    if (!RegisterWindowClass(kMainWindowClass, CS_DBLCLKS | CS_SAVEBITS, ::LoadCursorW(nullptr, IDC_ARROW),
                             ::GetSysColorBrush(COLOR_3DFACE), LoadAppIcon(16))) {
        return false;
    }
    return CreateEx(kExStyle, kMainWindowClass, L"Pelko", kStyle, 0, 0, kWidth, kHeight, ::GetDesktopWindow());
}

LRESULT CMainWnd::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (DefaultProc(WM_CREATE, wParam, lParam) == -1) return -1;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    // The close button: 15 x 14 pixels, 5 from the top and right edges.
    ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, client.right - 20, 5, 15, 14, Hwnd(),
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCloseButtonId)), ModuleInstance(), nullptr);
    // The tab buttons and their pages come here.
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadAppIcon(16)));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadAppIcon(32)));
    return 0;
}

void CMainWnd::OnCommand(WORD id) {
    if (id == kCloseButtonId) ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
}

void CMainWnd::Paint(HDC dc, const RECT& client) const {
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_3DFACE));
    RECT frame = client;
    ::DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
    RECT panel{client.left + kPanelInset.left, client.top + kPanelInset.top, client.left + kPanelInset.right,
               client.bottom - kPanelInset.bottom};
    ::FillRect(dc, &panel, ::GetSysColorBrush(COLOR_3DHILIGHT));
    ::DrawEdge(dc, &panel, EDGE_SUNKEN, BF_RECT);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    RECT title{client.left + 12, client.top + 6, client.right - 30, client.top + 26};
    ::DrawTextW(dc, L"Pelko", -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void CMainWnd::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Hwnd(), &ps);
    if (!dc) return;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    {
        CPaintBuffer buffer(dc, client);
        Paint(buffer.Dc(), client);
    }
    ::EndPaint(Hwnd(), &ps);
}

void CMainWnd::OnDestroy() {
    // Deselecting the current page comes here with the pages.
}

void CMainWnd::OnFinalDestroy() {
    // The callback frees this object: keep it on the stack while it runs.
    std::function<void()> onGone = std::move(m_onGone);
    if (onGone) onGone();
}

LRESULT CMainWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(wParam, lParam);
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_DRAWITEM:
            DrawPlainCloseButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_NCHITTEST:
            return HTCAPTION;   // drag by any point of the window's own surface
        case WM_ERASEBKGND:
            return 1;           // WM_PAINT paints everything in one piece
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
    }
}
