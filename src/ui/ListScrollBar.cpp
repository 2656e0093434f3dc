#include "ui/ListScrollBar.h"

#include <windowsx.h>

#include <algorithm>

#include "framework/PaintBuffer.h"
#include "skin/Skin.h"

namespace {
constexpr wchar_t kScrollBarClass[] = L"Pelko List Scroll Bar";
}

bool CListScrollBar::Create(const RECT& rect, HWND parent, HWND notify, bool vertical) {
    m_vertical = vertical;
    m_notify = notify;
    m_minThumb = ::GetSystemMetrics(vertical ? SM_CYVTHUMB : SM_CXHTHUMB);
    if (!RegisterWindowClass(kScrollBarClass, 0, ::LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr)) return false;
    if (!CreateEx(0, kScrollBarClass, L"", WS_CHILD | WS_VISIBLE, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, parent)) {
        return false;
    }
    Recalc();
    return true;
}

void CListScrollBar::Recalc() {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int extent = m_vertical ? client.bottom : client.right;
    m_track = extent - 2 * m_arrowLength + 1;
    m_range = m_maximum - m_minimum;
    m_thumbLength = m_page > 0 ? ::MulDiv(m_page, m_track, m_range + 1) : m_minThumb;
    m_thumbLength = std::max(m_minThumb, std::min(m_thumbLength, m_track));
    m_thumbPos = m_range > 0 ? ::MulDiv(m_track, m_position - m_minimum, m_range) : 0;
    if (m_thumbPos + m_thumbLength > m_track) m_thumbPos = std::max(0, m_track - m_thumbLength);
}

void CListScrollBar::SetInfo(UINT mask, int minimum, int maximum, int page, int position, bool redraw) {
    if (mask & kRange) {
        m_minimum = minimum;
        m_maximum = maximum;
    }
    if (mask & kPage) m_page = page;
    if (mask & kPosition) m_position = std::max(m_minimum, std::min(position, std::max(m_minimum, m_maximum - 1)));
    Recalc();
    if (redraw && Hwnd()) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CListScrollBar::SetPosition(int position) {
    position = std::max(m_minimum, std::min(position, std::max(m_minimum, m_maximum - 1)));
    if (position == m_position) return;
    m_position = position;
    Recalc();
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
    if (m_notify) ::SendMessageW(m_notify, WM_SCROLLBARPOS, static_cast<WPARAM>(position), 0);
}

CListScrollBar::Part CListScrollBar::HitTest(int along) const noexcept {
    if (!m_vertical) return Part::None;
    if (along < 0) return Part::LineUp;
    if (along >= m_track) return Part::LineDown;
    if (along < m_thumbPos) return Part::PageUp;
    if (along < m_thumbPos + m_thumbLength) return Part::Thumb;
    return Part::PageDown;
}

int CListScrollBar::Along(LPARAM lParam) const {
    return (m_vertical ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam)) - m_arrowLength;
}

void CListScrollBar::OnButtonDown(int along) {
    const int pageStep = m_page > 0 ? std::max(1, m_page - 1) : 1;
    switch (HitTest(along)) {
        case Part::Thumb:
            ::SetCapture(Hwnd());
            m_dragging = true;
            m_grip = along - m_thumbPos;
            break;
        case Part::LineUp: SetPosition(m_position - 1); break;
        case Part::LineDown: SetPosition(m_position + 1); break;
        case Part::PageUp: SetPosition(m_position - pageStep); break;
        case Part::PageDown: SetPosition(m_position + pageStep); break;
        case Part::None: break;
    }
}

void CListScrollBar::OnMouseMove(int along) {
    if (!m_dragging) return;
    const int offset = along - m_grip;
    if (offset < 0) {
        SetPosition(0);
    } else if (offset + m_thumbLength > m_track) {
        SetPosition(m_maximum - 1);
    } else if (m_range > 0) {
        // With more entries than track pixels a whole pixel spans several entries: scale instead.
        const int perPosition = m_track / m_range;
        SetPosition(perPosition > 0 ? offset / perPosition : ::MulDiv(offset, m_range, m_track));
    }
}

void CListScrollBar::Paint(HDC dc, const RECT& client) const {
    ::FillRect(dc, &client, theSkin.PaperBrush.Get());
    UniqueBrush track(::CreateSolidBrush(theSkin.PaperShades.Colors[1]));
    RECT trackRect{client.left + 3, client.top + m_arrowLength, client.right - 3, client.bottom - m_arrowLength};
    ::FillRect(dc, &trackRect, track.Get());
    // The arrows: small triangles in the base colour.
    SelectGuard pen(dc, theSkin.BaseShadesB.Pens[0].Get());
    SelectGuard brush(dc, theSkin.BaseBrush.Get());
    const int mid = (client.left + client.right) / 2;
    const POINT up[3]{{mid, client.top + 2}, {mid - 4, client.top + 7}, {mid + 4, client.top + 7}};
    const POINT down[3]{{mid, client.bottom - 3}, {mid - 4, client.bottom - 8}, {mid + 4, client.bottom - 8}};
    ::Polygon(dc, up, 3);
    ::Polygon(dc, down, 3);
    if (m_range > 0 && m_page < m_range) {
        RECT thumb{client.left + 2, client.top + m_arrowLength + m_thumbPos, client.right - 2,
                   client.top + m_arrowLength + m_thumbPos + m_thumbLength - 1};
        ::FillRect(dc, &thumb, theSkin.BaseBrush.Get());
    }
}

LRESULT CListScrollBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            OnButtonDown(Along(lParam));
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(Along(lParam));
            return 0;
        case WM_LBUTTONUP:
            if (m_dragging) ::ReleaseCapture();
            m_dragging = false;
            return 0;
        case WM_CAPTURECHANGED:
            m_dragging = false;
            return 0;
        case WM_SIZE:
            Recalc();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
    }
}
