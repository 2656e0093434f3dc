// The skin under Windows: the portable rounding against Windows' own, and the skin frame's pixels.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "runtime/Handles.h"
#include "framework/Window.h"
#include "skin/Skin.h"
#include "skin/SkinColors.h"

TEST(Skin, PortableMulDivRoundsLikeWindows) {
    const std::vector<int> values{0, 1, -1, 2, -2, 3, 5, -5, 7, 49, 50, -50, 51, 99, 100, -100, 101, 213, -213,
                                  46341, -46341, 0x7FFFFFFF, -0x7FFFFFFF};
    for (int a : values) for (int b : values) for (int c : values)
        ASSERT_EQ(MulDivRounded(a, b, c), ::MulDiv(a, b, c)) << a << " * " << b << " / " << c;
}

TEST(Skin, DrawFramePaintsThreeShiftedRings) {
    CSkin skin;
    skin.Setup(ModuleInstance(), 0x00344220);
    // The background magenta reads the same as a COLORREF and as a DIB pixel; the rings: B[2], base, A[0].
    const COLORREF background = 0x00FF00FF, outer = 0x001A2012, base = 0x00344220, inner = 0x005B6947;
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), 40, -30, 1, 32, BI_RGB}};
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    SelectGuard selected(dc.Get(), bitmap.Get());
    std::fill_n(static_cast<uint32_t*>(bits), 40 * 30, background);
    skin.DrawFrame(dc.Get(), RECT{10, 10, 30, 20});

    // Ring 1: x 10..29, y 10..19; ring 2: x 9..28, y 9..18 and (29, 9); ring 3: x 8..27, y 8..17; later over earlier.
    const std::vector<std::pair<POINT, COLORREF>> expected{
        {{10, 10}, outer}, {{29, 19}, outer}, {{29, 9}, base},  {{9, 18}, base},   {{28, 17}, base},
        {{8, 8}, inner},   {{27, 17}, inner}, {{27, 9}, inner}, {{15, 15}, background}, {{30, 9}, background}};
    for (const auto& [point, color] : expected)
        EXPECT_EQ(::GetPixel(dc.Get(), point.x, point.y), color) << point.x << ", " << point.y;
    // Three rings of 56 pixels, the extra base pixel, less what a later ring took over.
    std::map<COLORREF, int> counts;
    for (int i = 0; i < 40 * 30; ++i) ++counts[::GetPixel(dc.Get(), i % 40, i / 40)];
    EXPECT_EQ(counts, (std::map<COLORREF, int>{{outer, 52}, {base, 55}, {inner, 56}, {background, 1200 - 163}}));
}
