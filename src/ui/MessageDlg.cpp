#include "ui/MessageDlg.h"

#include "runtime/Handles.h"
#include "framework/PaintBuffer.h"
#include "framework/Window.h"
#include "resource.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"

namespace {
constexpr int kTextLeft = 56;
constexpr int kTextTop = 40;
constexpr int kExtraWidth = 72;        // 56 left of the text, 16 right of it
constexpr int kExtraHeight = 64;       // 40 above the text, 24 between text and button
constexpr int kButtonBottomGap = 6;
constexpr int kScreenMargin = 50;      // kept free on each side of the work area
constexpr int kIconLeft = 8;
constexpr int kIconTop = 32;
constexpr SIZE kCloseSize{15, 14};
constexpr int kCloseRightGap = 19;     // the close button's left edge, from the right edge
constexpr int kCloseTop = 5;
}  // namespace

CMessageDlg::CMessageDlg(HWND parent) noexcept : CDialog(IDD_MESSAGE, parent) {}

int CMessageDlg::Show(const wchar_t* text, UINT style) {
    m_text = text ? text : L"";
    m_style = style;
    return static_cast<int>(DoModal());
}

HFONT CMessageDlg::TextFont() const {
    // The skin's text font; the dialog's own, from its template, if the skin has none.
    if (theSkin.TextFont) return theSkin.TextFont.Get();
    return reinterpret_cast<HFONT>(::SendMessageW(Hwnd(), WM_GETFONT, 0, 0));
}

SIZE CMessageDlg::MeasureText() const {
    RECT area{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        ::InflateRect(&area, -kScreenMargin, 0);
    } else {
        area = RECT{0, 0, 640, 480};
    }
    WindowDcGuard dc(Hwnd());
    if (!dc.Get()) return SIZE{area.right - area.left, 0};
    SelectGuard font(dc.Get(), TextFont());
    ::DrawTextW(dc.Get(), m_text.c_str(), static_cast<int>(m_text.size()), &area, DT_CALCRECT | DT_WORDBREAK);
    return SIZE{area.right - area.left, area.bottom - area.top};
}

void CMessageDlg::FitToText() {
    const SIZE text = MeasureText();
    HWND ok = Item(IDOK);
    RECT button{};
    ::GetClientRect(ok, &button);
    const int buttonWidth = button.right - button.left;
    const int buttonHeight = button.bottom - button.top;

    m_textRect = RECT{kTextLeft, kTextTop, kTextLeft + text.cx, kTextTop + text.cy};
    const int width = text.cx + kExtraWidth;
    const int height = text.cy + buttonHeight + kExtraHeight;
    ::SetWindowPos(Hwnd(), HWND_TOP, 0, 0, width, height, SWP_NOMOVE);
    ::MoveWindow(Item(IDCANCEL), width - kCloseRightGap, kCloseTop, kCloseSize.cx, kCloseSize.cy, TRUE);
    ::SetWindowPos(ok, nullptr, (width - buttonWidth) / 2, height - buttonHeight - kButtonBottomGap, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
}

BOOL CMessageDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The text is also the window's title: the box has no caption, but the title names it to
    // tools that list windows.
    ::SetWindowTextW(Hwnd(), m_text.c_str());
    if (theSkin.TextFont) ::SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(theSkin.TextFont.Get()), TRUE);
    FitToText();
    CenterOnScreen(Hwnd());
    ::SetForegroundWindow(Hwnd());
    return TRUE;
}

BOOL CMessageDlg::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlID == IDCANCEL) {
        DrawSkinCloseButton(item);
    } else {
        DrawSkinButton(item, true);
    }
    return TRUE;
}

void CMessageDlg::Paint(HDC dc, const RECT& client) const {
    DrawSkinBackground(dc, client);
    // The text and its icon on a paper panel; the title strip above it stays in the base colour.
    DrawSkinPanel(dc, RECT{client.left + 4, client.top + 24, client.right - 3, client.bottom - 3});
    if (HICON icon = static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_MESSAGE), IMAGE_ICON,
                                                     32, 32, LR_SHARED))) {
        ::DrawIconEx(dc, kIconLeft, kIconTop, icon, 32, 32, 0, nullptr, DI_NORMAL);
    }
    SelectGuard font(dc, TextFont());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, theSkin.DarkColor);
    RECT text = m_textRect;
    ::DrawTextW(dc, m_text.c_str(), static_cast<int>(m_text.size()), &text, DT_WORDBREAK);
}

void CMessageDlg::OnPaint() {
    PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
}

INT_PTR CMessageDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return TRUE;
        case WM_ERASEBKGND:
            SetMessageResult(1);   // WM_PAINT paints everything in one piece
            return TRUE;
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}
