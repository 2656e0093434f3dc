#include "ui/AboutPage.h"

#include <string>

#include "resource.h"
#include "runtime/Handles.h"
#include "runtime/Module.h"
#include "skin/Skin.h"
#include "ui/SkinDrawing.h"

void CAboutPage::Paint(HDC dc, const RECT& client) const {
    ::SetBkMode(dc, TRANSPARENT);
    ::FillRect(dc, &client, theSkin.BaseBrush.Get());
    UniqueBrush frame(::CreateSolidBrush(theSkin.FrameShades.Colors[3]));
    ::FrameRect(dc, &client, frame.Get());
    RECT panel = client;
    ::InflateRect(&panel, -1, -1);
    panel.left += 2;   // room for the panel frame's rings up and to the left
    panel.top += 2;
    DrawSkinPanel(dc, panel);
    const std::wstring about(ResourceText(IDS_ABOUT_TEXT));
    if (about.empty()) return;
    DrawSkinText(dc, about.c_str(), RECT{panel.left + 6, panel.top + 6, panel.right - 6, panel.bottom},
                 theSkin.DarkColor, DT_WORDBREAK | DT_NOPREFIX);
}
