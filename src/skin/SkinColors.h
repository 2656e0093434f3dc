// The skin's colour arithmetic: integer conversions between RGB and hue/lightness/saturation,
// and the shade tables that the skin derives from the base colour and the paper colour.
// Portable (no Windows header): a colour is a COLORREF value held as 0x00BBGGRR.
#pragma once

#include <array>
#include <cstdint>
#include <span>

using ColorRef = std::uint32_t;

constexpr ColorRef MakeColorRef(unsigned red, unsigned green, unsigned blue) noexcept {
    return ColorRef(red & 0xFFu) | (ColorRef(green & 0xFFu) << 8) | (ColorRef(blue & 0xFFu) << 16);
}
constexpr unsigned RedOf(ColorRef color) noexcept { return color & 0xFFu; }
constexpr unsigned GreenOf(ColorRef color) noexcept { return (color >> 8) & 0xFFu; }
constexpr unsigned BlueOf(ColorRef color) noexcept { return (color >> 16) & 0xFFu; }

// Fixed colours of the skin.
constexpr ColorRef kPaperColor = 0x00EBFFFF;      // pale yellow paper: red 255, green 255, blue 235
constexpr ColorRef kGreyColor = 0x00646464;
constexpr ColorRef kLightGreenColor = 0x00CBFFDD;
constexpr ColorRef kPaleGreenColor = 0x00B6FFB7;

// Hue, lightness and saturation, each 0..kHlsMax. A grey has no hue: kUndefinedHue.
constexpr int kHlsMax = 253;
constexpr int kRgbMax = 255;
constexpr int kUndefinedHue = 168;

struct HlsColor {
    std::uint16_t Hue = 0;
    std::uint16_t Lightness = 0;
    std::uint16_t Saturation = 0;
    friend bool operator==(const HlsColor&, const HlsColor&) = default;
};

HlsColor RgbToHls(ColorRef color) noexcept;
// Expects each component within 0..kHlsMax.
ColorRef HlsToRgb(HlsColor hls) noexcept;

// multiplicand × multiplier / divisor with a 64-bit product, rounded half away from zero, and
// -1 for a zero divisor or a result outside the 32-bit range: the rounding of Windows' MulDiv.
std::int32_t MulDivRounded(std::int32_t multiplicand, std::int32_t multiplier, std::int32_t divisor) noexcept;

// An absolute addition: the sum, taken as a 16-bit number, replaces the component only when it
// lies within 0..kHlsMax; otherwise the component keeps its value.
void AddToHlsComponent(std::uint16_t& component, int delta) noexcept;

// One step of a shade table. Steps of a table apply one after the other, each to the result of
// the one before.
struct ShadeStep {
    int Hue;
    int Saturation;
    int Lightness;
};

// Relative steps change saturation and lightness by a percentage of the start colour's (the hue
// column is not used); absolute steps add to hue, saturation and lightness.
inline constexpr std::array<ShadeStep, 3> kBaseShadesASteps{{{-5, -43, 78}, {-6, -14, 51}, {-5, -10, 57}}};
inline constexpr std::array<ShadeStep, 3> kBaseShadesBSteps{{{0, -16, -8}, {0, -3, -18}, {0, 0, -22}}};
inline constexpr std::array<ShadeStep, 6> kPaperShadesSteps{
    {{0, -73, -4}, {0, -87, -11}, {0, -57, -28}, {0, -19, -36}, {0, -7, -28}, {0, 2, -13}}};
inline constexpr std::array<ShadeStep, 4> kFrameShadesSteps{{{0, -159, -15}, {0, -56, -28}, {0, -34, -31}, {0, 8, -33}}};

// A base colour lighter than this (in HLS lightness) is light: its relative shades are taken
// against 213 − S and 213 − L, and the skin's light green turns black.
constexpr int kLightBaseThreshold = 128;
bool IsLightBaseColor(ColorRef base) noexcept;

// Fill `shades` (one colour per step) from `start`.
void ComputeRelativeShades(ColorRef start, std::span<const ShadeStep> steps, std::span<ColorRef> shades) noexcept;
void ComputeAbsoluteShades(ColorRef start, std::span<const ShadeStep> steps, std::span<ColorRef> shades) noexcept;

// The base colour with its lightness raised by 40 (an absolute addition).
ColorRef ComputeLighterColor(ColorRef base) noexcept;

// Every derived colour of the skin, for one base colour and the paper colour.
struct SkinPalette {
    std::array<ColorRef, 3> BaseShadesA{};
    std::array<ColorRef, 3> BaseShadesB{};
    std::array<ColorRef, 6> PaperShades{};
    std::array<ColorRef, 4> FrameShades{};
    ColorRef LighterBaseColor = 0;
    ColorRef LightGreen = kLightGreenColor;   // black for a light base colour
    friend bool operator==(const SkinPalette&, const SkinPalette&) = default;
};

SkinPalette ComputeSkinPalette(ColorRef base, ColorRef paper = kPaperColor) noexcept;
