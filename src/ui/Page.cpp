#include "ui/Page.h"

#include "framework/PaintBuffer.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"

namespace {
constexpr wchar_t kPageClass[] = L"Pelko Page Class";
}

bool CPage::Create(const RECT& rect, HWND parent, int id) {
    if (!RegisterWindowClass(kPageClass, CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr)) return false;
    return CreateEx(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD | WS_CLIPCHILDREN, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void CPage::Paint(HDC dc, const RECT& client) const {
    ::FillRect(dc, &client, theSkin.BaseBrush.Get());
    // The frame's rings lie up and to the left of the panel: keep them inside the page.
    RECT panel{client.left + 2, client.top + 2, client.right, client.bottom};
    DrawSkinPanel(dc, panel);
}

LRESULT CPage::OnPageMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT CPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (DefaultProc(message, wParam, lParam) == -1) return -1;
            return OnCreatePage();
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            PaintDoubleBuffered(Hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
            return 0;
        default: {
            bool handled = true;
            const LRESULT result = OnPageMessage(message, wParam, lParam, handled);
            return handled ? result : DefaultProc(message, wParam, lParam);
        }
    }
}
