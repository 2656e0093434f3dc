#include "ui/SkinCheckBox.h"

#include "ui/SkinDrawing.h"

bool CSkinCheckBox::Create(const wchar_t* text, const RECT& rect, HWND parent, int id) {
    return CreateControl(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, rect, parent, id);
}

void CSkinCheckBox::SetCheck(BOOL checked) {
    m_checked = checked ? TRUE : FALSE;
    if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CSkinCheckBox::Draw(const DRAWITEMSTRUCT& item) const {
    DrawSkinCheckBox(item, m_checked != FALSE);
}

void CSkinCheckBox::OnNotify(WORD code) {
    if (code == BN_CLICKED || code == BN_DOUBLECLICKED) SetCheck(!m_checked);
}
