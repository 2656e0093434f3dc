// CSkin under Windows: what Setup loads and creates, that destruction frees it, that the palette
// matches the portable arithmetic, and the pixels of the skin frame. The test program carries
// stand-in resources (SkinTestResources.rc) whose colours and sizes tell them apart.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "settings/Settings.h"
#include "skin/Skin.h"
#include "skin/SkinColors.h"

namespace {

constexpr COLORREF kDefaultBase = 0x00344220;

// A 32-bit top-down DIB selected into a memory DC, so GetPixel returns the exact colours.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height, COLORREF background) : m_dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        m_bitmap.Reset(::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_old = ::SelectObject(m_dc, m_bitmap.Get());
        Fill(RECT{0, 0, width, height}, background);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    ~MemoryCanvas() {
        ::SelectObject(m_dc, m_old);
        ::DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    bool IsValid() const { return m_dc && m_bitmap; }
    COLORREF Pixel(int x, int y) const { return ::GetPixel(m_dc, x, y); }
    void Fill(RECT rect, COLORREF color) {
        UniqueBrush brush(::CreateSolidBrush(color));
        ::FillRect(m_dc, &rect, brush.Get());
    }

private:
    HDC m_dc;
    UniqueBitmap m_bitmap;
    HGDIOBJ m_old = nullptr;
};

// The colour a brush paints (at the middle of a filled square).
COLORREF PaintedColor(HBRUSH brush) {
    MemoryCanvas canvas(16, 16, 0x00FF00FF);
    RECT all{0, 0, 16, 16};
    ::FillRect(canvas.Dc(), &all, brush);
    return canvas.Pixel(8, 8);
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (::GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return SIZE{-1, -1};
    return SIZE{info.bmWidth, info.bmHeight};
}

LOGFONTW FontOf(HFONT font) {
    LOGFONTW info{};
    EXPECT_EQ(::GetObjectW(font, sizeof(info), &info), int(sizeof(info)));
    return info;
}

LOGBRUSH BrushOf(HBRUSH brush) {
    LOGBRUSH info{};
    EXPECT_EQ(::GetObjectW(brush, sizeof(info), &info), int(sizeof(info)));
    return info;
}

template <std::size_t N>
void ExpectShades(const CSkin::Shades<N>& shades, const std::array<ColorRef, N>& expected) {
    for (std::size_t i = 0; i < N; ++i) {
        EXPECT_EQ(shades.Colors[i], expected[i]) << "shade " << i;
        ASSERT_TRUE(shades.Pens[i]) << "pen " << i;
        LOGPEN pen{};
        ASSERT_EQ(::GetObjectW(shades.Pens[i].Get(), sizeof(pen), &pen), int(sizeof(pen)));
        EXPECT_EQ(pen.lopnStyle, UINT(PS_SOLID));
        EXPECT_EQ(pen.lopnWidth.x, 1);
        EXPECT_EQ(pen.lopnColor, expected[i]) << "pen " << i;
    }
}

class SkinTest : public ::testing::Test {
protected:
    HINSTANCE Module() const { return ::GetModuleHandleW(nullptr); }
};

// --- Set-up ---------------------------------------------------------------------------------

TEST_F(SkinTest, ProcessWideSkinIsEmptyUntilSetUp) {
    for (const auto& brush : theSkin.PatternBrushes) EXPECT_FALSE(brush);
    EXPECT_FALSE(theSkin.BaseBrush);
    EXPECT_FALSE(theSkin.TextFont);
    EXPECT_FALSE(theSkin.BaseShadesA.Pens[0]);
    EXPECT_EQ(theSkin.BaseColor, 0u);
    EXPECT_EQ(theSkin.LineHeight, 0);
}

TEST_F(SkinTest, PatternBrushesComeFromBitmaps147_146_142_143InThatOrder) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    const std::array<COLORREF, 4> expected{RGB(200, 10, 10), RGB(10, 200, 10), RGB(10, 10, 200), RGB(200, 200, 10)};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(skin.PatternBrushes[i]) << i;
        EXPECT_EQ(BrushOf(skin.PatternBrushes[i].Get()).lbStyle, UINT(BS_PATTERN)) << i;
        EXPECT_EQ(PaintedColor(skin.PatternBrushes[i].Get()), expected[i]) << i;
    }
}

TEST_F(SkinTest, BitmapsAre145And144ThenBitmap148) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    const struct { HBITMAP bitmap; LONG width, height; } rows[] = {
        {skin.Bitmaps[0].Get(), 7, 3}, {skin.Bitmaps[1].Get(), 6, 5}, {skin.Bitmap148.Get(), 5, 2}};
    for (const auto& row : rows) {
        const SIZE size = BitmapSize(row.bitmap);
        EXPECT_EQ(size.cx, row.width);
        EXPECT_EQ(size.cy, row.height);
    }
}

TEST_F(SkinTest, IconsAreLoadedAt16By16) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    const std::array<std::pair<HICON, COLORREF>, 2> icons{{{skin.CheckIcon.Get(), RGB(30, 160, 60)},
                                                            {skin.HostIcon.Get(), RGB(160, 60, 30)}}};
    for (const auto& [icon, color] : icons) {
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        UniqueBitmap colorBitmap(info.hbmColor), maskBitmap(info.hbmMask);
        const SIZE size = BitmapSize(colorBitmap.Get());
        EXPECT_EQ(size.cx, 16);
        EXPECT_EQ(size.cy, 16);
        MemoryCanvas canvas(32, 32, 0x00FF00FF);
        ASSERT_TRUE(::DrawIconEx(canvas.Dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(canvas.Pixel(8, 8), color);
        EXPECT_EQ(canvas.Pixel(20, 20), 0x00FF00FFu);   // drawn at its own 16 × 16 size
    }
}

TEST_F(SkinTest, SolidBrushesColoursAndLineHeight) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    const std::array<std::pair<HBRUSH, COLORREF>, 4> brushes{{{skin.BlackBrush.Get(), 0x00000000},
                                                              {skin.BaseBrush.Get(), kDefaultBase},
                                                              {skin.PaperBrush.Get(), 0x00EBFFFF},
                                                              {skin.DarkGreenBrush.Get(), 0x00252F17}}};
    for (const auto& [brush, color] : brushes) {
        ASSERT_NE(brush, nullptr);
        const LOGBRUSH info = BrushOf(brush);
        EXPECT_EQ(info.lbStyle, UINT(BS_SOLID));
        EXPECT_EQ(info.lbColor, color);
        EXPECT_EQ(PaintedColor(brush), color);
    }
    EXPECT_EQ(skin.BaseColor, kDefaultBase);
    EXPECT_EQ(skin.PaperColor, 0x00EBFFFFu);
    EXPECT_EQ(skin.DarkColor, 0u);
    EXPECT_EQ(skin.Grey, 0x00646464u);
    EXPECT_EQ(skin.LightGreen, 0x00CBFFDDu);
    EXPECT_EQ(skin.PaleGreen, 0x00B6FFB7u);
    EXPECT_EQ(skin.LighterBaseColor, 0x0060793Au);
    EXPECT_EQ(skin.LineHeight, 14);
}

// Both fonts: TrueType precision (4), antialiased (4), no width, slant, italic or underline, ANSI
// characters and the default clipping.
TEST_F(SkinTest, FontsHaveTheirFaceSizeWeightAndFamily) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    const struct { HFONT font; const wchar_t* face; LONG height, weight; BYTE pitchAndFamily; } rows[] = {
        {skin.TextFont.Get(), L"Tahoma", 14, 400, 0x20}, {skin.TitleFont.Get(), L"Times New Roman", 16, 100, 0x10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.face)));
        ASSERT_NE(row.font, nullptr);
        const LOGFONTW font = FontOf(row.font);
        EXPECT_EQ(std::wstring(font.lfFaceName), row.face);
        EXPECT_EQ(font.lfHeight, row.height);
        EXPECT_EQ(font.lfWeight, row.weight);
        EXPECT_EQ(font.lfPitchAndFamily, row.pitchAndFamily);
        EXPECT_EQ(font.lfOutPrecision, 4);
        EXPECT_EQ(font.lfQuality, 4);
        EXPECT_EQ(font.lfWidth | font.lfEscapement | font.lfItalic | font.lfUnderline | font.lfCharSet |
                      font.lfClipPrecision, 0);
    }
}

TEST_F(SkinTest, SetupWithoutTheResourcesSucceedsAndLeavesThemEmpty) {
    // kernel32 carries none of the skin's bitmaps and icons.
    const HINSTANCE module = ::GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(::FindResourceW(module, MAKEINTRESOURCEW(147), MAKEINTRESOURCEW(2) /* RT_BITMAP */), nullptr);
    CSkin skin;
    EXPECT_TRUE(skin.Setup(module, kDefaultBase));
    for (const auto& brush : skin.PatternBrushes) EXPECT_FALSE(brush);
    for (const auto& bitmap : skin.Bitmaps) EXPECT_FALSE(bitmap);
    EXPECT_FALSE(skin.Bitmap148);
    EXPECT_FALSE(skin.CheckIcon);
    EXPECT_FALSE(skin.HostIcon);
    // Everything that needs no resource is there.
    EXPECT_TRUE(skin.BlackBrush);
    EXPECT_TRUE(skin.BaseBrush);
    EXPECT_TRUE(skin.TextFont);
    EXPECT_TRUE(skin.FrameShades.Pens[3]);
    EXPECT_EQ(skin.LighterBaseColor, 0x0060793Au);
}

TEST_F(SkinTest, SetupReadsTheBaseColourSetting) {
    const COLORREF saved = theSettings.BaseColor;
    theSettings.BaseColor = 0x00404040;   // a dark grey
    CSkin skin;
    const BOOL result = skin.Setup();
    theSettings.BaseColor = saved;
    EXPECT_TRUE(result);
    EXPECT_EQ(skin.BaseColor, 0x00404040u);
    EXPECT_EQ(BrushOf(skin.BaseBrush.Get()).lbColor, 0x00404040u);
    ExpectShades(skin.BaseShadesA, {0x00707070, 0x00919191, 0x00B5B5B5});
    ExpectShades(skin.BaseShadesB, {0x003A3A3A, 0x002F2F2F, 0x00212121});
    EXPECT_TRUE(skin.PatternBrushes[0]);   // the program's own resources
}

// --- Palette ------------------------------------------------------------------------------------

TEST_F(SkinTest, PaletteOfTheDefaultBaseColourIsThePortableOne) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    // The same values as the native tests of the arithmetic expect.
    ExpectShades(skin.BaseShadesA, {0x005B6947, 0x00748260, 0x008F9A80});
    ExpectShades(skin.BaseShadesB, {0x002F3A20, 0x00262E1A, 0x001A2012});
    ExpectShades(skin.PaperShades, {0x00E7FBFB, 0x00DDEFEF, 0x00C2D2D2, 0x009FABAB, 0x00848E8E, 0x00768282});
    ExpectShades(skin.FrameShades, {0x00DDEFEF, 0x00C2D2D2, 0x00A9ABAB, 0x00838F8F});
    EXPECT_EQ(skin.LighterBaseColor, 0x0060793Au);
}

TEST_F(SkinTest, LightBaseColourTurnsLightGreenBlack) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), 0x00FFFFFF));
    EXPECT_EQ(skin.LightGreen, 0u);
    EXPECT_EQ(skin.PaleGreen, 0x00B6FFB7u);
    ExpectShades(skin.BaseShadesA, {0x00DFDFDF, 0x00CBCBCB, 0x00B4B4B4});
    ExpectShades(skin.BaseShadesB, {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF});
    EXPECT_EQ(skin.LighterBaseColor, 0x00FFFFFFu);
}

TEST_F(SkinTest, PortableMulDivRoundsLikeWindows) {
    const std::vector<int> values{0, 1, -1, 2, -2, 3, 5, -5, 7, 49, 50, -50, 51, 99, 100, -100, 101, 213, -213,
                                  46341, -46341, 0x7FFFFFFF, -0x7FFFFFFF};
    for (int a : values)
        for (int b : values)
            for (int c : values) ASSERT_EQ(MulDivRounded(a, b, c), ::MulDiv(a, b, c)) << a << " * " << b << " / " << c;
}

// --- Destruction ----------------------------------------------------------------------------------

TEST_F(SkinTest, DestructionFreesEveryObject) {
    std::vector<HGDIOBJ> objects;
    std::vector<HICON> icons;
    {
        CSkin skin;
        ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
        for (const auto& brush : skin.PatternBrushes) objects.push_back(brush.Get());
        for (const auto& bitmap : skin.Bitmaps) objects.push_back(bitmap.Get());
        objects.insert(objects.end(), {skin.BlackBrush.Get(), skin.Bitmap148.Get(), skin.BaseBrush.Get(),
                                       skin.PaperBrush.Get(), skin.DarkGreenBrush.Get(), skin.TextFont.Get(),
                                       skin.TitleFont.Get()});
        for (const auto& pen : skin.BaseShadesA.Pens) objects.push_back(pen.Get());
        for (const auto& pen : skin.BaseShadesB.Pens) objects.push_back(pen.Get());
        for (const auto& pen : skin.PaperShades.Pens) objects.push_back(pen.Get());
        for (const auto& pen : skin.FrameShades.Pens) objects.push_back(pen.Get());
        icons = {skin.CheckIcon.Get(), skin.HostIcon.Get()};
        ASSERT_EQ(objects.size(), 4u + 2u + 7u + 16u);
        for (HGDIOBJ object : objects) ASSERT_NE(::GetObjectType(object), 0u);
    }
    for (std::size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(::GetObjectType(objects[i]), 0u) << "object " << i;
    for (HICON icon : icons) {
        ICONINFO info{};
        EXPECT_FALSE(::GetIconInfo(icon, &info));
    }
}

// --- The skin frame -----------------------------------------------------------------------------

TEST_F(SkinTest, DrawFramePaintsThreeShiftedRings) {
    CSkin skin;
    ASSERT_TRUE(skin.Setup(Module(), kDefaultBase));
    constexpr COLORREF kBackground = 0x00FF00FF;
    const COLORREF outer = 0x001A2012;   // third colour of base shades B
    const COLORREF base = kDefaultBase;
    const COLORREF inner = 0x005B6947;   // first colour of base shades A
    MemoryCanvas canvas(40, 30, kBackground);
    ASSERT_TRUE(canvas.IsValid());
    skin.DrawFrame(canvas.Dc(), RECT{10, 10, 30, 20});

    // Ring 1: x 10..29, y 10..19; ring 2 (base): x 9..28, y 9..18, plus (29, 9);
    // ring 3: x 8..27, y 8..17. Later rings paint over earlier ones where they cross.
    const std::vector<std::pair<POINT, COLORREF>> expected{
        {{10, 10}, outer}, {{29, 19}, outer}, {{10, 19}, outer}, {{29, 10}, outer},
        {{29, 9}, base},   {{28, 9}, base},   {{9, 9}, base},    {{9, 18}, base},  {{28, 18}, base}, {{28, 17}, base},
        {{8, 8}, inner},   {{27, 8}, inner},  {{8, 17}, inner},  {{27, 17}, inner}, {{27, 9}, inner}, {{9, 17}, inner},
        {{30, 20}, kBackground}, {{15, 15}, kBackground}, {{7, 7}, kBackground}, {{30, 9}, kBackground},
        {{29, 8}, kBackground}, {{11, 11}, kBackground}};
    for (const auto& [point, color] : expected)
        EXPECT_EQ(canvas.Pixel(point.x, point.y), color) << "at " << point.x << ", " << point.y;

    // Whole-picture check: three rings of 56 pixels each, the extra base pixel, and the pixels
    // that a later ring took over (4 of ring 1, 2 of ring 2).
    std::map<COLORREF, int> counts;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ++counts[canvas.Pixel(x, y)];
    EXPECT_EQ(counts[outer], 52);
    EXPECT_EQ(counts[base], 55);
    EXPECT_EQ(counts[inner], 56);
    EXPECT_EQ(counts[kBackground], 40 * 30 - 52 - 55 - 56);
    EXPECT_EQ(counts.size(), 4u);
}

}  // namespace
