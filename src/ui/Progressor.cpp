// The progress window and its thread (see Progressor.h for threads).
#include "ui/Progressor.h"

#include <string>

#include "framework/PaintBuffer.h"
#include "resource.h"
#include "runtime/Module.h"
#include "runtime/Trace.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"
#include "ui/UiMessages.h"

namespace {
constexpr wchar_t kProgressWindowClass[] = L"Pelko Progress Window Class";
constexpr wchar_t kProgressBarClass[] = L"Pelko Progress Bar Class";
constexpr RECT kBarRect{8, 26, 313, 46};
constexpr RECT kCancelRect{301, 7, 316, 21};
constexpr COLORREF kBarColor = RGB(90, 90, 90);
// Bounds a hand-over to the window's thread, which never blocks.
constexpr UINT kHandOverTimeoutMs = 2000;

HICON SmallAppIcon() {
    return static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_PELKO), IMAGE_ICON, 16, 16, LR_SHARED));
}

}  // namespace

// --- the bar -------------------------------------------------------------------------------

bool CProgressBar::Create(HWND parent) {
    if (!RegisterWindowClass(kProgressBarClass, CS_HREDRAW | CS_VREDRAW, nullptr, nullptr, SmallAppIcon())) return false;
    return CreateEx(0, kProgressBarClass, nullptr, WS_CHILD | WS_VISIBLE, kBarRect.left, kBarRect.top,
                    kBarRect.right - kBarRect.left, kBarRect.bottom - kBarRect.top, parent);
}

void CProgressBar::SetPosition(DWORD position) {
    m_position = position;
    if (Hwnd()) {
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        ::UpdateWindow(Hwnd());
    }
}

void CProgressBar::Paint(HDC dc, const RECT& client) const {
    // The skin's frame around the client area, its paper panel inside.
    ::FillRect(dc, &client, theSkin.BaseBrush ? theSkin.BaseBrush.Get() : ::GetSysColorBrush(COLOR_3DFACE));
    RECT panel = client;
    ::InflateRect(&panel, -1, -1);
    panel.left += 1;
    panel.top += 1;
    DrawSkinPanel(dc, panel);
    if (m_range != 0 && m_position != 0) {
        const int width = (panel.right - 1) - (panel.left + 4);
        RECT filled{panel.left + 4, panel.top + 5,
                    panel.left + 4 + ::MulDiv(static_cast<int>(std::min(m_position, m_range)), width, static_cast<int>(m_range)),
                    panel.bottom - 2};
        UniqueBrush grey(::CreateSolidBrush(kBarColor));
        ::FillRect(dc, &filled, grey.Get());
    }
}

LRESULT CProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
    }
}

// --- the window ----------------------------------------------------------------------------

bool CProgressWnd::Create() {
    if (!RegisterWindowClass(kProgressWindowClass, CS_DBLCLKS, nullptr, nullptr, SmallAppIcon())) return false;
    return CreateEx(WS_EX_APPWINDOW, kProgressWindowClass, nullptr, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU,
                    0, 0, kWidth, kHeight, ::GetDesktopWindow());
}

void CProgressWnd::Open() {
    m_firstReport = true;
    m_cancelled.store(0);
    m_lastPercent = -1;
    m_bar.SetRange(0);
    m_bar.SetPosition(0);
    ::SetWindowTextW(Hwnd(), L"");
    ::SetWindowPos(Hwnd(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
    CenterWindow();
    ::SetForegroundWindow(Hwnd());
    ::SetFocus(Hwnd());
}

void CProgressWnd::OnProgress(DWORD done, DWORD total) {
    if (total == 0) return;
    if (m_firstReport) m_bar.SetRange(total);   // the flag stays: every report sets the range
    m_bar.SetPosition(done);
    ::UpdateWindow(Hwnd());
    const int percent = ::MulDiv(static_cast<int>(done), 100, static_cast<int>(total));
    if (percent != m_lastPercent) {
        wchar_t title[32];
        ::wsprintfW(title, L"%d%% Transferred", percent);
        ::SetWindowTextW(Hwnd(), title);
        m_lastPercent = percent;
    }
}

void CProgressWnd::Paint(HDC dc, const RECT& client) const {
    DrawSkinBackground(dc, client);
    const RECT band{kBarRect.left, kBarRect.top - 2 - 18, kBarRect.right, kBarRect.top - 2};
    // On the base colour, like the main window's title: light text, black on a light base colour.
    const COLORREF text = theSkin.LightGreen ? theSkin.LightGreen : theSkin.DarkColor;
    DrawSkinText(dc, std::wstring(ResourceText(IDS_TRANSFERRING)).c_str(), band, text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

LRESULT CProgressWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (DefaultProc(message, wParam, lParam) == -1 || !m_bar.Create(Hwnd())) return -1;
            ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, kCancelRect.left, kCancelRect.top,
                              kCancelRect.right - kCancelRect.left, kCancelRect.bottom - kCancelRect.top, Hwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCancelId)), ModuleInstance(), nullptr);
            return 0;
        case WM_PROGRESSOPEN:
            Open();
            return 0;
        case WM_PROGRESSCLOSE:
            ::ShowWindow(Hwnd(), SW_HIDE);
            return 0;
        case WM_PROGRESS:
            OnProgress(static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelId) m_cancelled.fetch_add(1);
            return 0;
        case WM_DRAWITEM:
            DrawSkinCloseButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_NCHITTEST:
            return HTCAPTION;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
    }
}

// --- the thread ----------------------------------------------------------------------------

CProgressor::~CProgressor() {
    Quit();   // the window can only be destroyed by its own thread
}

bool CProgressor::InitInstance() {
    if (!m_window.Create()) return true;   // not reported: transfers go on without a window
    SetMainWindow(&m_window);
    return true;
}

int CProgressor::ExitInstance() {
    m_window.DestroyWindow();
    return CUiThread::ExitInstance();
}

void CProgressor::InitProgress() {
    ExTrace(L"Init Progress");
    if (HWND window = m_window.Hwnd()) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_PROGRESSOPEN, 0, 0, SMTO_NORMAL, kHandOverTimeoutMs, &ignored);
    }
    m_active.store(true);
}

BOOL CProgressor::UpdateProgress(DWORD done, DWORD total) {
    if (!m_active.load()) return TRUE;
    ::PostMessageW(m_window.Hwnd(), WM_PROGRESS, done, static_cast<LPARAM>(total));
    return m_window.IsCancelled() ? FALSE : TRUE;
}

void CProgressor::CloseProgress() {
    ExTrace(L"Close Progress");
    // A transfer too small for the window never opened it: nothing to hide, and no trip to the
    // window's thread for every small paste.
    if (!m_active.load()) return;
    if (HWND window = m_window.Hwnd()) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(window, WM_PROGRESSCLOSE, 0, 0, SMTO_NORMAL, kHandOverTimeoutMs, &ignored);
    }
    m_active.store(false);
}
