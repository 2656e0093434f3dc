#include "ui/MainWnd.h"

#include "framework/PaintBuffer.h"
#include "protocol/Server.h"
#include "resource.h"
#include "runtime/Handles.h"
#include "skin/Skin.h"
#include "ui/HostEvents.h"
#include "ui/ShowMessage.h"
#include "ui/SkinDrawing.h"
#include "ui/UiMessages.h"

namespace {
// The panel behind the tab buttons, inset from the window's left, top and bottom edges.
constexpr RECT kPanelInset{10, 30, 130, 10};

struct TabRow {
    const wchar_t* text;
    int id;
    RECT rect;
};
constexpr TabRow kTabs[CMainWnd::kPageCount] = {
    {L"Friends", 1, {18, 50, 118, 80}},
    {L"Remote Hosts", 2, {18, 102, 118, 132}},
    {L"Options", 3, {18, 154, 118, 184}},
    {L"About", 4, {18, 206, 118, 236}},
};
constexpr int kFirstPageId = 5;

HWND CreateButton(HWND parent, const wchar_t* text, int id, const RECT& r) {
    return ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
}

HICON LoadAppIcon(int size) {
    return static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PELKO), IMAGE_ICON, size, size, LR_SHARED));
}
}  // namespace

bool CMainWnd::Create() {
    // The skin's base-colour brush becomes the class background once the skin exists.
    if (!RegisterWindowClass(kMainWindowClass, CS_DBLCLKS | CS_SAVEBITS, ::LoadCursorW(nullptr, IDC_ARROW),
                             theSkin.BaseBrush ? theSkin.BaseBrush.Get() : ::GetSysColorBrush(COLOR_3DFACE),
                             LoadAppIcon(16))) {
        return false;
    }
    return CreateEx(kExStyle, kMainWindowClass, L"Pelko", kStyle, 0, 0, kWidth, kHeight, ::GetDesktopWindow());
}

LRESULT CMainWnd::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (DefaultProc(WM_CREATE, wParam, lParam) == -1) return -1;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    ::SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
    for (int i = 0; i < kPageCount; ++i) {
        m_tabs[i] = CreateButton(Hwnd(), kTabs[i].text, kTabs[i].id, kTabs[i].rect);
        if (!m_tabs[i]) return -1;
        ::SendMessageW(m_tabs[i], WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), FALSE);
        // Buttons must draw into their own device context, or the double-buffered parent shows
        // through them.
        if (i == 0) {
            ::SetClassLongW(m_tabs[0], GCL_STYLE, ::GetClassLongW(m_tabs[0], GCL_STYLE) & ~CS_PARENTDC);
        }
    }
    // The close button: 15 x 14 pixels, 5 from the top and right edges.
    m_closeButton = CreateButton(Hwnd(), L"", kCloseButtonId, RECT{client.right - 20, 5, client.right - 5, 19});
    const RECT pageRect{kPageMargins.left, kPageMargins.top, client.right - kPageMargins.right,
                        client.bottom - kPageMargins.bottom};
    for (int i = 0; i < kPageCount; ++i) {
        if (!m_pageTable[i]->Create(pageRect, Hwnd(), kFirstPageId + i)) return -1;
    }
    if (m_hostEvents) m_hostEvents->SetWindow(Hwnd());
    SelectPage(0);
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadAppIcon(16)));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadAppIcon(32)));
    return 0;
}

void CMainWnd::SetOnTakeClipboard(std::function<void(DWORD)> take) {
    m_friends.SetOnTakeClipboard(std::move(take));
}

void CMainWnd::OnCommand(WORD id) {
    if (id >= 1 && id <= kPageCount) SelectPage(id - 1);
    if (id == kCloseButtonId) ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
}

void CMainWnd::SelectPage(int index) {
    if (index == m_current || index < -1 || index >= kPageCount) return;
    if (m_current >= 0) {
        m_pageTable[m_current]->OnHidePage();
        ::ShowWindow(m_pageTable[m_current]->Hwnd(), SW_HIDE);
        m_tabSelected[m_current] = false;
        ::InvalidateRect(m_tabs[m_current], nullptr, FALSE);
    }
    if (index >= 0) {
        m_pageTable[index]->OnShowPage();
        ::ShowWindow(m_pageTable[index]->Hwnd(), SW_SHOW);
        m_tabSelected[index] = true;
        ::InvalidateRect(m_tabs[index], nullptr, FALSE);
    }
    m_current = index;
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
    ::UpdateWindow(Hwnd());
}

void CMainWnd::OnHostMessage(UINT message, DWORD address) {
    if (m_current < 0) return;   // nobody listens between pages
    CPage& page = *m_pageTable[m_current];
    if (message == WM_HOSTADDED) page.OnHostAdded(address);
    if (message == WM_HOSTREMOVED) page.OnHostRemoved(address);
    if (message == WM_HOSTCHANGED) page.OnHostChanged(address);
}

void CMainWnd::OnDrawItem(const DRAWITEMSTRUCT& item) const {
    if (item.CtlID == kCloseButtonId) {
        DrawSkinCloseButton(item);
    } else if (item.CtlID >= 1 && item.CtlID <= kPageCount) {
        DrawSkinButton(item, m_tabSelected[item.CtlID - 1]);
    }
}

void CMainWnd::Paint(HDC dc, const RECT& client) const {
    DrawSkinBackground(dc, client);
    const RECT panel{client.left + kPanelInset.left, client.top + kPanelInset.top, client.left + kPanelInset.right,
                     client.bottom - kPanelInset.bottom};
    DrawSkinPanel(dc, panel);
    // The program's mark and name in the top-left corner, on the base colour.
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, theSkin.LightGreen ? theSkin.LightGreen : theSkin.DarkColor);
    SelectGuard font(dc, theSkin.TitleFont ? static_cast<HGDIOBJ>(theSkin.TitleFont.Get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    RECT title{client.left + 12, client.top + 5, client.right - 30, client.top + 26};
    ::DrawTextW(dc, L"Pelko Network Clipboard", -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void CMainWnd::OnPaint() {
    PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
}

// A close while a message box of this thread is open waits for it: the box's caller (a rename
// refused on the Friends page, a failed take) is on the stack below the box's loop and goes on
// with this window's pages once the box is closed. A timer looks again after the box.
void CMainWnd::OnClose() {
    if (IsMessageBoxOpen()) {
        ::SetTimer(Hwnd(), kDeferredCloseTimer, kDeferredCloseMs, nullptr);
        return;
    }
    ::KillTimer(Hwnd(), kDeferredCloseTimer);
    ::DestroyWindow(Hwnd());
}

void CMainWnd::OnDestroy() {
    SelectPage(-1);   // the current page hears that it is left (the Options page saves)
    if (m_hostEvents) m_hostEvents->SetWindow(nullptr);
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
            OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_HOSTADDED:
        case WM_HOSTREMOVED:
        case WM_HOSTCHANGED:
            OnHostMessage(message, static_cast<DWORD>(wParam));
            return 0;
        case WM_NCHITTEST:
            return HTCAPTION;   // drag by any point of the window's own surface
        case WM_ERASEBKGND:
            return 1;           // WM_PAINT paints everything in one piece
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_TIMER:
            if (wParam != kDeferredCloseTimer) return DefaultProc(message, wParam, lParam);
            OnClose();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
    }
}
