// The skin's colour arithmetic. Expected values of the conversions are the program's documented
// fixed points; the expected shade tables were worked out once with a separate, straightforward
// re-implementation of the same integer steps in Python (run by hand, not part of the build)
// and checked by hand where the comments show the arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "skin/SkinColors.h"

namespace {

constexpr ColorRef kDefaultBase = 0x00344220;   // red 0x20, green 0x42, blue 0x34

HlsColor Hls(int hue, int lightness, int saturation) {
    return {std::uint16_t(hue), std::uint16_t(lightness), std::uint16_t(saturation)};
}

template <size_t N>
std::array<ColorRef, N> Relative(ColorRef start, const std::array<ShadeStep, N>& steps) {
    std::array<ColorRef, N> shades{};
    ComputeRelativeShades(start, steps, shades);
    return shades;
}

template <size_t N>
std::array<ColorRef, N> Absolute(ColorRef start, const std::array<ShadeStep, N>& steps) {
    std::array<ColorRef, N> shades{};
    ComputeAbsoluteShades(start, steps, shades);
    return shades;
}

bool IsGrey(ColorRef c) { return RedOf(c) == GreenOf(c) && GreenOf(c) == BlueOf(c); }

// --- RGB and HLS -------------------------------------------------------------------------

TEST(SkinColorConversion, KnownColoursToHls) {
    EXPECT_EQ(RgbToHls(kDefaultBase), Hls(109, 49, 88));
    EXPECT_EQ(RgbToHls(MakeColorRef(255, 0, 0)), Hls(0, 127, 253));
    EXPECT_EQ(RgbToHls(MakeColorRef(0, 255, 0)), Hls(84, 127, 253));
    EXPECT_EQ(RgbToHls(MakeColorRef(0, 0, 255)), Hls(168, 127, 253));
    EXPECT_EQ(RgbToHls(0x00000000), Hls(168, 0, 0));
    EXPECT_EQ(RgbToHls(0x00FFFFFF), Hls(168, 253, 0));
    EXPECT_EQ(RgbToHls(kPaperColor), Hls(42, 243, 253));
    EXPECT_EQ(RgbToHls(0x00808080), Hls(168, 127, 0));
}

TEST(SkinColorConversion, NegativeHueWrapsAroundTheCircle) {
    // Magenta: red is the largest, so H = Bd - Gd = 0 - 42 = -42, and -42 + 253 = 211.
    EXPECT_EQ(RgbToHls(MakeColorRef(255, 0, 255)), Hls(211, 127, 253));
}

TEST(SkinColorConversion, KnownHlsToRgb) {
    EXPECT_EQ(HlsToRgb(Hls(0, 127, 253)), MakeColorRef(255, 1, 1));
    EXPECT_EQ(HlsToRgb(Hls(42, 243, 253)), kPaperColor);
    EXPECT_EQ(HlsToRgb(Hls(168, 0, 0)), 0x00000000u);
    EXPECT_EQ(HlsToRgb(Hls(168, 253, 0)), 0x00FFFFFFu);
    // A grey is L × 255 / 253 without rounding: 126 × 255 / 253 = 126.99 gives 126.
    EXPECT_EQ(HlsToRgb(Hls(168, 126, 0)), 0x007E7E7Eu);
    EXPECT_EQ(HlsToRgb(Hls(0, 126, 253)), 0x000000FEu);
    EXPECT_EQ(HlsToRgb(Hls(84, 200, 100)), 0x00B4DFB4u);
}

TEST(SkinColorConversion, RoundTripsDoNotAlwaysReturnTheStartColour) {
    EXPECT_EQ(HlsToRgb(RgbToHls(MakeColorRef(255, 0, 0))), MakeColorRef(255, 1, 1));
    EXPECT_EQ(HlsToRgb(RgbToHls(kDefaultBase)), 0x00344320u);
    EXPECT_EQ(HlsToRgb(RgbToHls(0x00404040)), 0x003F3F3Fu);
    EXPECT_EQ(HlsToRgb(RgbToHls(kPaperColor)), kPaperColor);
}

TEST(SkinColorConversion, EveryRgbColourGivesComponentsInRange) {
    int outOfRange = 0;
    ColorRef first = 0;
    // Every red and green with blues 0, 15, ..., 255 (the full cube is slow under the sanitizers).
    for (unsigned blue = 0; blue <= 255; blue += 15)
        for (unsigned green = 0; green <= 255; ++green)
            for (unsigned red = 0; red <= 255; ++red) {
                const ColorRef color = MakeColorRef(red, green, blue);
                const HlsColor hls = RgbToHls(color);
                if (hls.Hue > kHlsMax || hls.Lightness > kHlsMax || hls.Saturation > kHlsMax) {
                    if (outOfRange++ == 0) first = color;
                }
            }
    EXPECT_EQ(outOfRange, 0) << "first: " << std::hex << first;
}

TEST(SkinColorConversion, EveryHlsColourConvertsBackToAboutItsLightness) {
    // Were a channel ever above 255 it would wrap in the COLORREF and the lightness would jump.
    int far = 0;
    HlsColor first;
    for (int hue = 0; hue <= kHlsMax; ++hue)
        for (int lightness = 0; lightness <= kHlsMax; ++lightness)
            for (int saturation = 0; saturation <= kHlsMax; saturation += 11) {   // 0, 11, ..., 253
                const ColorRef rgb = HlsToRgb(Hls(hue, lightness, saturation));
                if (std::abs(int(RgbToHls(rgb).Lightness) - lightness) > 2) {
                    if (far++ == 0) first = Hls(hue, lightness, saturation);
                }
            }
    EXPECT_EQ(far, 0) << "first: " << first.Hue << ' ' << first.Lightness << ' ' << first.Saturation;
}

// --- MulDiv rounding and absolute additions ----------------------------------------------

TEST(SkinArithmetic, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDivRounded(5, 50, 100), 3);
    EXPECT_EQ(MulDivRounded(-5, 50, 100), -3);
    EXPECT_EQ(MulDivRounded(5, -50, 100), -3);
    EXPECT_EQ(MulDivRounded(-5, -50, 100), 3);
    EXPECT_EQ(MulDivRounded(7, 1, 2), 4);
    EXPECT_EQ(MulDivRounded(-7, 1, 2), -4);
    EXPECT_EQ(MulDivRounded(7, -1, -2), 4);
    EXPECT_EQ(MulDivRounded(1, 1, -2), -1);
    EXPECT_EQ(MulDivRounded(0, -1, 100), 0);
    EXPECT_EQ(MulDivRounded(213, -43, 100), -92);   // -91.59
    EXPECT_EQ(MulDivRounded(88, -43, 100), -38);    // -37.84
    EXPECT_EQ(MulDivRounded(49, 78, 100), 38);      // 38.22
}

TEST(SkinArithmetic, MulDivUsesAWideProductAndReportsFailureAsMinusOne) {
    EXPECT_EQ(MulDivRounded(2000000000, 3, 4), 1500000000);
    EXPECT_EQ(MulDivRounded(2000000000, 2, 1), -1);
    EXPECT_EQ(MulDivRounded(12, 34, 0), -1);
}

TEST(SkinArithmetic, AbsoluteAdditionStoresOnlySumsWithinRange) {
    const struct { std::uint16_t start; int delta; std::uint16_t expected; } rows[] = {
        {158, -159, 158},        // -1 as a 16-bit number is 65535: kept
        {159, -159, 0}, {250, 3, 253},
        {253, 1, 253},           // 254: kept
        {10, 65536 + 5, 15},     // wraps to 15 as a 16-bit number
    };
    for (const auto& row : rows) {
        std::uint16_t value = row.start;
        AddToHlsComponent(value, row.delta);
        EXPECT_EQ(value, row.expected) << row.start << " + " << row.delta;
    }
}

// --- Relative tables (base shades) --------------------------------------------------------

TEST(SkinRelativeShades, DefaultBaseColourIsDarkAndUsesItsOwnSaturationAndLightness) {
    EXPECT_FALSE(IsLightBaseColor(kDefaultBase));
    // H 109, L 49, S 88. First step of A: S = 88 + round(88 × -43 / 100) = 88 - 38 = 50,
    // L = 49 + round(49 × 78 / 100) = 49 + 38 = 87.
    EXPECT_EQ(HlsToRgb(Hls(109, 87, 50)), 0x005B6947u);
    EXPECT_EQ(Relative(kDefaultBase, kBaseShadesASteps), (std::array<ColorRef, 3>{0x005B6947, 0x00748260, 0x008F9A80}));
    EXPECT_EQ(Relative(kDefaultBase, kBaseShadesBSteps), (std::array<ColorRef, 3>{0x002F3A20, 0x00262E1A, 0x001A2012}));
}

TEST(SkinRelativeShades, DarkGreyStaysGreyInEveryShade) {
    const ColorRef darkGrey = 0x00404040;
    EXPECT_EQ(RgbToHls(darkGrey), Hls(168, 63, 0));
    EXPECT_FALSE(IsLightBaseColor(darkGrey));
    const auto a = Relative(darkGrey, kBaseShadesASteps);
    const auto b = Relative(darkGrey, kBaseShadesBSteps);
    EXPECT_EQ(a, (std::array<ColorRef, 3>{0x00707070, 0x00919191, 0x00B5B5B5}));
    EXPECT_EQ(b, (std::array<ColorRef, 3>{0x003A3A3A, 0x002F2F2F, 0x00212121}));
    for (ColorRef c : a) EXPECT_TRUE(IsGrey(c));
    for (ColorRef c : b) EXPECT_TRUE(IsGrey(c));
}

TEST(SkinRelativeShades, LightnessAbove128IsLight) {
    // Greys 0x81 and 0x82 have L 128 and 129.
    EXPECT_EQ(RgbToHls(0x00818181).Lightness, 128);
    EXPECT_EQ(RgbToHls(0x00828282).Lightness, 129);
    EXPECT_FALSE(IsLightBaseColor(0x00818181));
    EXPECT_TRUE(IsLightBaseColor(0x00828282));
}

TEST(SkinRelativeShades, WhiteUsesTheDistanceFrom213AndGoesDarker) {
    // H 168, L 253, S 0: S0 = 213, L0 = 213 - 253 = -40. L runs 253 - 31 = 222, - 20 = 202,
    // - 23 = 179; S runs negative and is taken as 0, so the shades are greys 223, 203, 180.
    EXPECT_TRUE(IsLightBaseColor(0x00FFFFFF));
    EXPECT_EQ(Relative(0x00FFFFFF, kBaseShadesASteps), (std::array<ColorRef, 3>{0x00DFDFDF, 0x00CBCBCB, 0x00B4B4B4}));
    // B: L0 × -8% = +3 takes L above 253: white, and it stays there.
    EXPECT_EQ(Relative(0x00FFFFFF, kBaseShadesBSteps), (std::array<ColorRef, 3>{0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF}));
}

TEST(SkinRelativeShades, LightColourUsesTheDistanceFrom213ForSaturationToo) {
    // 0x00C0A080 is H 147, L 159, S 85: S0 = 128, L0 = 54. First A step: S = 85 - 55 = 30,
    // L = 159 + 42 = 201. With S0 = S and L0 = L it would have been white (L 283).
    const ColorRef light = 0x00C0A080;
    EXPECT_EQ(RgbToHls(light), Hls(147, 159, 85));
    EXPECT_EQ(HlsToRgb(Hls(147, 201, 30)), 0x00D1CBC5u);
    EXPECT_EQ(Relative(light, kBaseShadesASteps), (std::array<ColorRef, 3>{0x00D1CBC5, 0x00E8E7E6, 0x00FFFFFF}));
    EXPECT_EQ(Relative(light, kBaseShadesBSteps), (std::array<ColorRef, 3>{0x00B59C83, 0x00AC9278, 0x00A38669}));
}

TEST(SkinRelativeShades, SumsBeyondTheRangeAreTakenAtItsEnd) {
    // Pure red: L 127 + 99 = 226, then + 65 = 291 and + 72: white from the second step on.
    EXPECT_EQ(Relative(MakeColorRef(255, 0, 0), kBaseShadesASteps), (std::array<ColorRef, 3>{0x00D5D5F3, 0x00FFFFFF, 0x00FFFFFF}));
    EXPECT_EQ(Relative(MakeColorRef(255, 0, 0), kBaseShadesBSteps), (std::array<ColorRef, 3>{0x001212DA, 0x001212AB, 0x000D0D78}));
    EXPECT_EQ(Relative(0x00000000, kBaseShadesASteps), (std::array<ColorRef, 3>{0, 0, 0}));
}

// --- Absolute tables (paper and frame shades) ---------------------------------------------

TEST(SkinAbsoluteShades, PaperShades) {
    // H 42, L 243, S 253 → (S 180, L 239), (93, 228), (36, 200), (17, 164), (10, 136), (12, 123).
    EXPECT_EQ(HlsToRgb(Hls(42, 239, 180)), 0x00E7FBFBu);
    EXPECT_EQ(Absolute(kPaperColor, kPaperShadesSteps),
              (std::array<ColorRef, 6>{0x00E7FBFB, 0x00DDEFEF, 0x00C2D2D2, 0x009FABAB, 0x00848E8E, 0x00768282}));
}

TEST(SkinAbsoluteShades, FrameShadesOfThePaperColour) {
    // The paper's saturation 253 is at least 159, so the first step changes it (to 94).
    EXPECT_EQ(Absolute(kPaperColor, kFrameShadesSteps), (std::array<ColorRef, 4>{0x00DDEFEF, 0x00C2D2D2, 0x00A9ABAB, 0x00838F8F}));
}

TEST(SkinAbsoluteShades, OutOfRangeAdditionsKeepTheValue) {
    // A grey has S 0: -159, -56 and -34 are each kept out, +8 is taken, and the undefined hue
    // 168 then counts as a real hue (a touch of blue) in the last shade.
    EXPECT_EQ(Absolute(0x00646464, kFrameShadesSteps), (std::array<ColorRef, 4>{0x00545454, 0x00383838, 0x00191919, 0x001A1818}));
}

TEST(SkinAbsoluteShades, LighterBaseColour) {
    EXPECT_EQ(ComputeLighterColor(kDefaultBase), 0x0060793Au);   // L 49 + 40 = 89
    EXPECT_EQ(ComputeLighterColor(0x00000000), 0x00282828u);
    EXPECT_EQ(ComputeLighterColor(0x00FFFFFF), 0x00FFFFFFu);     // 293 is out of range: kept
    EXPECT_EQ(ComputeLighterColor(kPaperColor), kPaperColor);   // 283 likewise
}

// --- The whole palette --------------------------------------------------------------------

// Each table from its own steps and start colour (their values are checked above).
TEST(SkinPaletteTest, DefaultBaseColour) {
    const SkinPalette palette = ComputeSkinPalette(kDefaultBase);
    EXPECT_EQ(palette.BaseShadesA, Relative(kDefaultBase, kBaseShadesASteps));
    EXPECT_EQ(palette.BaseShadesB, Relative(kDefaultBase, kBaseShadesBSteps));
    EXPECT_EQ(palette.PaperShades, Absolute(kPaperColor, kPaperShadesSteps));
    EXPECT_EQ(palette.FrameShades, Absolute(kPaperColor, kFrameShadesSteps));
    EXPECT_EQ(palette.LighterBaseColor, 0x0060793Au);
    EXPECT_EQ(palette.LightGreen, 0x00CBFFDDu);
}

TEST(SkinPaletteTest, LightBaseColourTurnsLightGreenBlack) {
    const SkinPalette palette = ComputeSkinPalette(0x00FFFFFF);
    EXPECT_EQ(palette.LightGreen, 0u);
    EXPECT_EQ(palette.BaseShadesA, (std::array<ColorRef, 3>{0x00DFDFDF, 0x00CBCBCB, 0x00B4B4B4}));
    // The paper tables do not depend on the base colour.
    EXPECT_EQ(palette.PaperShades, ComputeSkinPalette(kDefaultBase).PaperShades);
    EXPECT_EQ(palette.FrameShades, ComputeSkinPalette(kDefaultBase).FrameShades);
    EXPECT_EQ(ComputeSkinPalette(0x00818181).LightGreen, kLightGreenColor);
    EXPECT_EQ(ComputeSkinPalette(0x00828282).LightGreen, 0u);
}

}  // namespace
