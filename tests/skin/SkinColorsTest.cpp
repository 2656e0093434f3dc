// The skin's colour arithmetic: each base colour's HLS, its way back to RGB, and the palette the windows paint
// with; worked out once by a separate re-implementation, checked by hand where the comments show the steps.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "skin/SkinColors.h"

using Three = std::array<ColorRef, 3>;

TEST(SkinColors, EachBaseColourGivesItsHlsAndPalette) {
    // Each row: base, its HLS, HlsToRgb of that (not always the base), shades A and B, lighter base, light green.
    const struct Row { ColorRef base; HlsColor hls; ColorRef back; Three shadesA, shadesB; ColorRef lighter, green; }
    rows[] = {
        // The default: green is the largest, H = 84 + Rd - Bd. A's first step: S = 88 - round(37.84)
        // = 50, L = 49 + round(38.22) = 87.
        {0x00344220, {109, 49, 88}, 0x00344320, {0x005B6947, 0x00748260, 0x008F9A80},
         {0x002F3A20, 0x00262E1A, 0x001A2012}, 0x0060793A, kLightGreenColor},
        // A grey stays grey; L × 255 / 253 is not rounded: 63 gives 63.
        {0x00404040, {168, 63, 0}, 0x003F3F3F, {0x00707070, 0x00919191, 0x00B5B5B5},
         {0x003A3A3A, 0x002F2F2F, 0x00212121}, 0x00676767, kLightGreenColor},
        // Light: taken against 213 - S and 213 - L, which is -40 for white, so A goes darker; the
        // lighter colour's L 293 is out of range and kept at 253.
        {0x00FFFFFF, {168, 253, 0}, 0x00FFFFFF, {0x00DFDFDF, 0x00CBCBCB, 0x00B4B4B4},
         {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF}, 0x00FFFFFF, 0},
        // S0 = 213 - 85 = 128, L0 = 54: A's first step is S 30, L 201 (with S0 = S it were white).
        {0x00C0A080, {147, 159, 85}, 0x00C1A080, {0x00D1CBC5, 0x00E8E7E6, 0x00FFFFFF},
         {0x00B59C83, 0x00AC9278, 0x00A38669}, 0x00DBC9B6, 0},
        // Sums beyond the range are taken at its end: red is white from A's second step on.
        {0x000000FF, {0, 127, 253}, 0x000101FF, {0x00D5D5F3, 0x00FFFFFF, 0x00FFFFFF},
         {0x001212DA, 0x001212AB, 0x000D0D78}, 0x005252FF, kLightGreenColor},
        {0x00000000, {168, 0, 0}, 0x00000000, {0, 0, 0}, {0, 0, 0}, 0x00282828, kLightGreenColor},
        // Magenta: H = Bd - Gd = -42, wrapped to 211.
        {0x00FF00FF, {211, 127, 253}, 0x00F901FF, {0x00F2D5F3, 0x00FFFFFF, 0x00FFFFFF},
         {0x00D512DA, 0x00A712AB, 0x00750D78}, 0x00FB52FF, kLightGreenColor},
        // Lightness 128 is still dark, 129 is light.
        {0x00818181, {168, 128, 0}, 0x00818181, {0x00E5E5E5, 0x00FFFFFF, 0x00FFFFFF},
         {0x00767676, 0x005F5F5F, 0x00434343}, 0x00A9A9A9, kLightGreenColor},
        {0x00828282, {168, 129, 0}, 0x00828282, {0x00C4C4C4, 0x00EFEFEF, 0x00FFFFFF},
         {0x007A7A7A, 0x006B6B6B, 0x00595959}, 0x00AAAAAA, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.base);
        EXPECT_EQ(RgbToHls(row.base), row.hls);
        EXPECT_EQ(HlsToRgb(row.hls), row.back);
        const SkinPalette palette = ComputeSkinPalette(row.base);
        EXPECT_EQ(std::tuple(palette.BaseShadesA, palette.BaseShadesB, palette.LighterBaseColor, palette.LightGreen),
                  std::tuple(row.shadesA, row.shadesB, row.lighter, row.green));
        // Paper (H 42, L 243, S 253) whatever the base: sums that leave 0..253 keep the value (frame S 94 is taken).
        EXPECT_EQ(palette.PaperShades, (std::array<ColorRef, 6>{0x00E7FBFB, 0x00DDEFEF, 0x00C2D2D2, 0x009FABAB,
                                                                0x00848E8E, 0x00768282}));
        EXPECT_EQ(palette.FrameShades, (std::array<ColorRef, 4>{0x00DDEFEF, 0x00C2D2D2, 0x00A9ABAB, 0x00838F8F}));
    }
}
