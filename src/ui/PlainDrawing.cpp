#include "ui/PlainDrawing.h"

#include <algorithm>
#include <string>

#include "framework/Handles.h"

void DrawPlainButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &box, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(dc, &box, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    wchar_t caption[64] = {};
    const int length = ::GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    RECT text = box;
    if (pressed) ::OffsetRect(&text, 1, 1);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextW(dc, caption, length, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    if (item.itemState & ODS_FOCUS) {
        RECT focus = box;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
}

void DrawPlainCloseButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    ::FillRect(dc, &box, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(dc, &box, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);

    const int shift = pressed ? 1 : 0;
    const int size = std::min(box.right - box.left, box.bottom - box.top) - 8;
    if (size <= 0) return;
    const int left = box.left + (box.right - box.left - size) / 2 + shift;
    const int top = box.top + (box.bottom - box.top - size) / 2 + shift;
    UniqueGdiObject pen(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNTEXT)));
    SelectGuard selected(dc, pen.Get());
    for (int offset = 0; offset < 2; ++offset) {   // two pixels wide
        ::MoveToEx(dc, left + offset, top, nullptr);
        ::LineTo(dc, left + size + offset, top + size);
        ::MoveToEx(dc, left + size - 1 + offset, top, nullptr);
        ::LineTo(dc, left - 1 + offset, top + size);
    }
}
