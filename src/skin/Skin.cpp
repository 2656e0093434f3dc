// CSkin's set-up from the resources and the base colour, and the skin frame.
#include "skin/Skin.h"

#include "runtime/Trace.h"
#include "settings/Settings.h"
#include "skin/SkinColors.h"

namespace {

HBITMAP LoadBitmapResource(HINSTANCE module, int id) {
    HBITMAP bitmap = ::LoadBitmapW(module, MAKEINTRESOURCEW(id));
    if (!bitmap) ExTrace(L"CSkin: bitmap %d not loaded (error %d)", id, int(::GetLastError()));
    return bitmap;
}

HICON LoadSmallIcon(HINSTANCE module, int id) {
    auto icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    if (!icon) ExTrace(L"CSkin: icon %d not loaded (error %d)", id, int(::GetLastError()));
    return icon;
}

HFONT CreateSkinFont(int height, int weight, BYTE pitchAndFamily, const wchar_t* face) {
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                         CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, pitchAndFamily, face);
}

template <std::size_t N>
void SetShades(CSkin::Shades<N>& shades, const std::array<ColorRef, N>& colors) {
    for (std::size_t i = 0; i < N; ++i) {
        shades.Colors[i] = colors[i];
        shades.Pens[i].Reset(::CreatePen(PS_SOLID, 1, colors[i]));
    }
}

}  // namespace

BOOL CSkin::Setup() {
    return Setup(::GetModuleHandleW(nullptr), theSettings.BaseColor);
}

BOOL CSkin::Setup(HINSTANCE module, COLORREF baseColor) {
    LoadBitmapsAndBrushes(module);
    SetColors(baseColor);
    CreateSolidBrushes();
    LineHeight = 14;
    LoadIcons(module);
    CreateFonts();
    ComputePalette();
    return TRUE;
}

void CSkin::LoadBitmapsAndBrushes(HINSTANCE module) {
    for (std::size_t i = 0; i < kPatternBitmapIds.size(); ++i) {
        // The brush keeps its own copy of the pattern: the bitmap is not needed afterwards.
        UniqueBitmap pattern(LoadBitmapResource(module, kPatternBitmapIds[i]));
        PatternBrushes[i].Reset(pattern ? ::CreatePatternBrush(pattern.Get()) : nullptr);
    }
    for (std::size_t i = 0; i < kBitmapIds.size(); ++i) Bitmaps[i].Reset(LoadBitmapResource(module, kBitmapIds[i]));
}

void CSkin::SetColors(COLORREF baseColor) {
    BaseColor = baseColor;
    PaperColor = kPaperColor;
    DarkColor = 0;
    Grey = kGreyColor;
    LightGreen = kLightGreenColor;   // ComputePalette turns it black for a light base colour
    PaleGreen = kPaleGreenColor;
}

void CSkin::CreateSolidBrushes() {
    BaseBrush.Reset(::CreateSolidBrush(BaseColor));
    PaperBrush.Reset(::CreateSolidBrush(PaperColor));
}

void CSkin::LoadIcons(HINSTANCE module) {
    CheckIcon.Reset(LoadSmallIcon(module, kCheckIconId));
    HostIcon.Reset(LoadSmallIcon(module, kHostIconId));
}

void CSkin::CreateFonts() {
    TextFont.Reset(CreateSkinFont(14, FW_NORMAL, FF_SWISS, L"Tahoma"));
    TitleFont.Reset(CreateSkinFont(16, FW_THIN, FF_ROMAN, L"Times New Roman"));
}

void CSkin::ComputePalette() {
    const SkinPalette palette = ComputeSkinPalette(BaseColor, PaperColor);
    SetShades(BaseShadesA, palette.BaseShadesA);
    if (IsLightBaseColor(BaseColor)) LightGreen = 0;
    SetShades(BaseShadesB, palette.BaseShadesB);
    SetShades(PaperShades, palette.PaperShades);
    SetShades(FrameShades, palette.FrameShades);
    LighterBaseColor = palette.LighterBaseColor;
}

void CSkin::DrawFrame(HDC dc, RECT rect) const {
    // Three rings, each one pixel up and to the left of the one before: the third colour of base
    // shades B, the base colour (with one pixel more right of its top-right corner, which closes
    // the diagonal step between the first two rings), and the first colour of base shades A.
    UniqueBrush outer(::CreateSolidBrush(BaseShadesB.Colors[2]));
    ::FrameRect(dc, &rect, outer.Get());
    ::OffsetRect(&rect, -1, -1);
    ::SetPixel(dc, rect.right, rect.top, BaseColor);
    ::FrameRect(dc, &rect, BaseBrush.Get());
    ::OffsetRect(&rect, -1, -1);
    UniqueBrush inner(::CreateSolidBrush(BaseShadesA.Colors[0]));
    ::FrameRect(dc, &rect, inner.Get());
}
