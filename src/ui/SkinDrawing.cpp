#include "ui/SkinDrawing.h"

#include <algorithm>
#include <string>

#include "runtime/Handles.h"
#include "framework/Window.h"
#include "skin/Skin.h"

namespace {
void Line(HDC dc, HPEN pen, int x1, int y1, int x2, int y2) {
    SelectGuard selected(dc, pen);
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    UniqueBrush brush(::CreateSolidBrush(color));
    ::FillRect(dc, &rect, brush.Get());
}

// A one-pixel border: `light` at the top and left, `dark` at the bottom and right.
void Bevel(HDC dc, const RECT& r, HPEN light, HPEN dark) {
    Line(dc, light, r.left, r.bottom - 1, r.left, r.top);
    Line(dc, light, r.left, r.top, r.right - 1, r.top);
    Line(dc, dark, r.right - 1, r.top, r.right - 1, r.bottom - 1);
    Line(dc, dark, r.right - 1, r.bottom - 1, r.left - 1, r.bottom - 1);
}
}  // namespace

void DrawSkinBackground(HDC dc, const RECT& rect) {
    ::FillRect(dc, &rect, theSkin.BaseBrush.Get());
    Bevel(dc, rect, theSkin.BaseShadesA.Pens[0].Get(), theSkin.BaseShadesB.Pens[2].Get());
}

void DrawSkinPanel(HDC dc, const RECT& rect) {
    ::FillRect(dc, &rect, theSkin.PaperBrush.Get());
    theSkin.DrawFrame(dc, rect);
}

void DrawSkinText(HDC dc, const wchar_t* text, RECT rect, COLORREF color, UINT format) {
    SelectGuard font(dc, theSkin.TextFont.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, color);
    ::DrawTextW(dc, text, -1, &rect, format);
}

void DrawSkinButton(const DRAWITEMSTRUCT& item, bool selected) {
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    // A selected tab takes the base colour; the others stay on the paper with a pale face.
    FillSolid(dc, box, selected ? theSkin.BaseColor : theSkin.PaperShades.Colors[0]);
    if (selected) {
        Bevel(dc, box, theSkin.BaseShadesB.Pens[2].Get(), theSkin.BaseShadesA.Pens[0].Get());
    } else {
        Bevel(dc, box, pressed ? theSkin.FrameShades.Pens[3].Get() : theSkin.PaperShades.Pens[5].Get(),
              pressed ? theSkin.PaperShades.Pens[5].Get() : theSkin.FrameShades.Pens[3].Get());
    }
    RECT text = box;
    if (pressed) ::OffsetRect(&text, 1, 1);
    const COLORREF color = selected ? (theSkin.LightGreen ? theSkin.LightGreen : theSkin.DarkColor) : theSkin.DarkColor;
    DrawSkinText(dc, WindowText(item.hwndItem).c_str(), text, color, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = box;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
}

void DrawSkinCloseButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    FillSolid(dc, box, pressed ? theSkin.BaseShadesB.Colors[2] : theSkin.BaseShadesB.Colors[0]);
    Bevel(dc, box, theSkin.BaseShadesA.Pens[0].Get(), theSkin.BaseShadesB.Pens[2].Get());
    const int size = std::min(box.right - box.left, box.bottom - box.top) - 8;
    if (size <= 0) return;
    const int shift = pressed ? 1 : 0;
    const int left = box.left + (box.right - box.left - size) / 2 + shift;
    const int top = box.top + (box.bottom - box.top - size) / 2 + shift;
    HPEN pen = theSkin.PaperShades.Pens[0].Get();
    for (int offset = 0; offset < 2; ++offset) {   // two pixels wide
        Line(dc, pen, left + offset, top, left + size + offset, top + size);
        Line(dc, pen, left + size - 1 + offset, top, left - 1 + offset, top + size);
    }
}

void DrawSkinCheckMark(HDC dc, POINT at, int size, bool checked) {
    const RECT box{at.x, at.y, at.x + size, at.y + size};
    ::FillRect(dc, &box, theSkin.PaperBrush.Get());
    UniqueBrush frame(::CreateSolidBrush(RGB(0xB4, 0xB4, 0xB4)));
    ::FrameRect(dc, &box, frame.Get());
    if (!checked) return;
    if (theSkin.CheckIcon) {
        ::DrawIconEx(dc, at.x + (size - 16) / 2, at.y + (size - 16) / 2, theSkin.CheckIcon.Get(), 16, 16, 0, nullptr,
                     DI_NORMAL);
    } else {
        RECT inner = box;
        ::InflateRect(&inner, -3, -3);
        ::FillRect(dc, &inner, theSkin.BaseBrush.Get());
    }
}

void DrawSkinCheckBox(const DRAWITEMSTRUCT& item, bool checked) {
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    ::FillRect(dc, &box, theSkin.PaperBrush.Get());
    const int size = std::min<int>(14, box.bottom - box.top);
    DrawSkinCheckMark(dc, POINT{box.left, box.top + (box.bottom - box.top - size) / 2}, size, checked);
    RECT text = box;
    text.left += size + 6;
    DrawSkinText(dc, WindowText(item.hwndItem).c_str(), text, theSkin.DarkColor, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = text;
        focus.left -= 2;
        ::DrawFocusRect(dc, &focus);
    }
}
