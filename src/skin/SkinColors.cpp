// The skin's colour arithmetic. All divisions are integer divisions that truncate, as in the
// conversions the palette was designed with; the rounding terms (+126, +255, +21, ...) are part
// of the arithmetic and change the results, so they are kept exactly.
#include "skin/SkinColors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr int kHueSixth = kHlsMax / 6;   // 42: one sixth of the hue circle
constexpr int kHueThird = 84;            // 2 × 42: the distance between red, green and blue

// One channel of HLS to RGB, on the scale 0..kHlsMax.
int HueToChannel(int n1, int n2, int hue) {
    if (hue < 0) hue += kHlsMax;
    if (hue > kHlsMax) hue -= kHlsMax;
    if (hue < kHueSixth) return n1 + ((n2 - n1) * hue + kHueSixth / 2) / kHueSixth;
    if (hue < kHlsMax / 2) return n2;
    if (hue < kUndefinedHue) return n1 + ((n2 - n1) * (kUndefinedHue - hue) + kHueSixth / 2) / kHueSixth;
    return n1;
}

int ChannelToRgb(int channel) {
    return (channel * kRgbMax + kHlsMax / 2) / kHlsMax;
}

// The relative tables add without a range check; a sum outside 0..kHlsMax is brought back to
// the nearest end before it is converted, so a shade of an extreme colour is black, white or
// the most saturated colour rather than whatever an out-of-range conversion would give.
std::uint16_t ToHlsRange(int value) {
    return static_cast<std::uint16_t>(std::clamp(value, 0, kHlsMax));
}

}  // namespace

HlsColor RgbToHls(ColorRef color) noexcept {
    const int red = int(RedOf(color)), green = int(GreenOf(color)), blue = int(BlueOf(color));
    const int max = std::max({red, green, blue});
    const int min = std::min({red, green, blue});
    HlsColor hls;
    hls.Lightness = static_cast<std::uint16_t>(((max + min) * kHlsMax + kRgbMax) / (2 * kRgbMax));
    if (max == min) {
        hls.Saturation = 0;
        hls.Hue = kUndefinedHue;
        return hls;
    }
    const int spread = max - min;
    if (hls.Lightness <= kHlsMax / 2) {
        hls.Saturation = static_cast<std::uint16_t>((spread * kHlsMax + (max + min) / 2) / (max + min));
    } else {
        const int rest = 2 * kRgbMax - max - min;
        hls.Saturation = static_cast<std::uint16_t>((spread * kHlsMax + rest / 2) / rest);
    }
    const int redDelta = ((max - red) * kHueSixth + spread / 2) / spread;
    const int greenDelta = ((max - green) * kHueSixth + spread / 2) / spread;
    const int blueDelta = ((max - blue) * kHueSixth + spread / 2) / spread;
    int hue;
    if (red == max) {
        hue = blueDelta - greenDelta;
    } else if (green == max) {
        hue = kHueThird + redDelta - blueDelta;
    } else {
        hue = 2 * kHueThird + greenDelta - redDelta;
    }
    if (hue < 0) hue += kHlsMax;
    if (hue > kHlsMax) hue -= kHlsMax;
    hls.Hue = static_cast<std::uint16_t>(hue);
    return hls;
}

ColorRef HlsToRgb(HlsColor hls) noexcept {
    const int hue = hls.Hue, lightness = hls.Lightness, saturation = hls.Saturation;
    if (saturation == 0) {
        const int grey = lightness * kRgbMax / kHlsMax;
        return MakeColorRef(unsigned(grey), unsigned(grey), unsigned(grey));
    }
    int m2;
    if (lightness <= kHlsMax / 2) {
        m2 = (lightness * (kHlsMax + saturation) + kHlsMax / 2) / kHlsMax;
    } else {
        m2 = lightness + saturation - (lightness * saturation + kHlsMax / 2) / kHlsMax;
    }
    const int m1 = 2 * lightness - m2;
    const int red = ChannelToRgb(HueToChannel(m1, m2, hue + kHueThird));
    const int green = ChannelToRgb(HueToChannel(m1, m2, hue));
    const int blue = ChannelToRgb(HueToChannel(m1, m2, hue - kHueThird));
    return MakeColorRef(unsigned(red), unsigned(green), unsigned(blue));
}

std::int32_t MulDivRounded(std::int32_t multiplicand, std::int32_t multiplier, std::int32_t divisor) noexcept {
    if (divisor == 0) return -1;
    std::int64_t a = multiplicand, d = divisor;
    if (d < 0) {
        a = -a;
        d = -d;
    }
    const std::int64_t product = a * multiplier;
    // Adding (or, for a negative product, subtracting) half the divisor before the truncating
    // division rounds halves away from zero.
    const bool negative = (a < 0) != (multiplier < 0);
    const std::int64_t result = negative ? (product - d / 2) / d : (product + d / 2) / d;
    if (result > INT32_MAX || result < -INT32_MAX) return -1;
    return static_cast<std::int32_t>(result);
}

void AddToHlsComponent(std::uint16_t& component, int delta) noexcept {
    const auto sum = static_cast<std::uint16_t>(component + delta);
    if (sum <= kHlsMax) component = sum;
}

bool IsLightBaseColor(ColorRef base) noexcept {
    return RgbToHls(base).Lightness > kLightBaseThreshold;
}

void ComputeRelativeShades(ColorRef start, std::span<const ShadeStep> steps, std::span<ColorRef> shades) noexcept {
    const HlsColor hls = RgbToHls(start);
    int saturation = hls.Saturation, lightness = hls.Lightness;
    int saturationBase = saturation, lightnessBase = lightness;
    if (lightness > kLightBaseThreshold) {
        // A light colour: the shades are taken against the distance from a light grey, which is
        // negative for the lightest colours, so their shades go darker instead of lighter.
        saturationBase = 213 - saturation;
        lightnessBase = 213 - lightness;
    }
    const std::size_t count = std::min(steps.size(), shades.size());
    for (std::size_t i = 0; i < count; ++i) {
        saturation += MulDivRounded(saturationBase, steps[i].Saturation, 100);
        lightness += MulDivRounded(lightnessBase, steps[i].Lightness, 100);
        shades[i] = HlsToRgb({hls.Hue, ToHlsRange(lightness), ToHlsRange(saturation)});
    }
}

void ComputeAbsoluteShades(ColorRef start, std::span<const ShadeStep> steps, std::span<ColorRef> shades) noexcept {
    HlsColor hls = RgbToHls(start);
    const std::size_t count = std::min(steps.size(), shades.size());
    for (std::size_t i = 0; i < count; ++i) {
        AddToHlsComponent(hls.Hue, steps[i].Hue);
        AddToHlsComponent(hls.Saturation, steps[i].Saturation);
        AddToHlsComponent(hls.Lightness, steps[i].Lightness);
        shades[i] = HlsToRgb(hls);
    }
}

ColorRef ComputeLighterColor(ColorRef base) noexcept {
    HlsColor hls = RgbToHls(base);
    AddToHlsComponent(hls.Lightness, 40);
    return HlsToRgb(hls);
}

SkinPalette ComputeSkinPalette(ColorRef base, ColorRef paper) noexcept {
    SkinPalette palette;
    if (IsLightBaseColor(base)) palette.LightGreen = 0;
    ComputeRelativeShades(base, kBaseShadesASteps, palette.BaseShadesA);
    ComputeRelativeShades(base, kBaseShadesBSteps, palette.BaseShadesB);
    ComputeAbsoluteShades(paper, kPaperShadesSteps, palette.PaperShades);
    ComputeAbsoluteShades(paper, kFrameShadesSteps, palette.FrameShades);
    palette.LighterBaseColor = ComputeLighterColor(base);
    return palette;
}
