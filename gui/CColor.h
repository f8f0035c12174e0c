// An RGBA colour, 0 to 255 per channel, alpha 255 = opaque.
#pragma once

#include <cstdint>

namespace zel::gui {

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    constexpr bool operator==(const CColor& other) const = default;

    constexpr double normRed() const { return red / 255.0; }
    constexpr double normGreen() const { return green / 255.0; }
    constexpr double normBlue() const { return blue / 255.0; }
    constexpr double normAlpha() const { return alpha / 255.0; }
};

constexpr CColor MakeCColor(uint8_t red = 0, uint8_t green = 0, uint8_t blue = 0,
                            uint8_t alpha = 255) {
    return CColor{red, green, blue, alpha};
}

inline constexpr CColor kTransparentCColor{255, 255, 255, 0};
inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kGreenCColor{0, 255, 0, 255};
inline constexpr CColor kBlueCColor{0, 0, 255, 255};
inline constexpr CColor kYellowCColor{255, 255, 0, 255};

} // namespace zel::gui
