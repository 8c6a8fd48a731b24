#pragma once
// The look of the timestamp and the small enumerations that describe it.

#include <algorithm>
#include <array>

#include "kit/settings/enum_table.h"

namespace veltrop::settings {

enum class StampMode { overlay, dataStrip };
enum class StampTheme { clean, retro };
enum class StampCorner { topLeft, topRight, bottomLeft, bottomRight };
enum class StampBacking { none, shadow, box };
enum class StampInk { white, black, amber };

constexpr auto enumCases(StampMode) {
    return std::array{EnumCase<StampMode>{StampMode::overlay, "overlay", "Overlay"},
                      EnumCase<StampMode>{StampMode::dataStrip, "dataStrip", "Data strip"}};
}
constexpr auto enumCases(StampTheme) {
    return std::array{EnumCase<StampTheme>{StampTheme::clean, "clean", "Clean"},
                      EnumCase<StampTheme>{StampTheme::retro, "retro", "Retro"}};
}
constexpr auto enumCases(StampCorner) {
    return std::array{EnumCase<StampCorner>{StampCorner::topLeft, "topLeft", "Top left"},
                      EnumCase<StampCorner>{StampCorner::topRight, "topRight", "Top right"},
                      EnumCase<StampCorner>{StampCorner::bottomLeft, "bottomLeft", "Bottom left"},
                      EnumCase<StampCorner>{StampCorner::bottomRight, "bottomRight", "Bottom right"}};
}
constexpr auto enumCases(StampBacking) {
    return std::array{EnumCase<StampBacking>{StampBacking::none, "none", "None"},
                      EnumCase<StampBacking>{StampBacking::shadow, "shadow", "Shadow"},
                      EnumCase<StampBacking>{StampBacking::box, "box", "Box"}};
}
constexpr auto enumCases(StampInk) {
    return std::array{EnumCase<StampInk>{StampInk::white, "white", "White"},
                      EnumCase<StampInk>{StampInk::black, "black", "Black"},
                      EnumCase<StampInk>{StampInk::amber, "amber", "Amber"}};
}

constexpr bool isLeft(StampCorner corner) {
    return corner == StampCorner::topLeft || corner == StampCorner::bottomLeft;
}
constexpr bool isTop(StampCorner corner) {
    return corner == StampCorner::topLeft || corner == StampCorner::topRight;
}

// Device-independent RGB with alpha, components 0 to 1.
struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
};

constexpr Color inkColor(StampInk ink) {
    switch (ink) {
        case StampInk::white: return {1, 1, 1, 1};
        case StampInk::black: return {0, 0, 0, 1};
        case StampInk::amber: return {1, 0.62, 0.13, 1};
    }
    return {1, 1, 1, 1};
}

struct StampStyle {
    static constexpr double minimumSizeFraction = 0.01;
    static constexpr double maximumSizeFraction = 0.06;

    StampMode mode = StampMode::overlay;
    StampTheme theme = StampTheme::clean;
    StampCorner corner = StampCorner::bottomRight;
    StampBacking backing = StampBacking::shadow;
    StampInk ink = StampInk::white;
    double sizeFraction = 0.022;    // capitals' height over the shorter side; clamped where used
    double marginFraction = 0.025;  // used as stored

    bool operator==(const StampStyle&) const = default;
};

// Retro always prints in amber, whatever ink is stored.
constexpr StampInk effectiveInk(const StampStyle& style) {
    return style.theme == StampTheme::retro ? StampInk::amber : style.ink;
}

constexpr double clampedSizeFraction(const StampStyle& style) {
    return std::clamp(style.sizeFraction, StampStyle::minimumSizeFraction, StampStyle::maximumSizeFraction);
}

// Capital height of the overlay stamp on a W × H canvas.
constexpr double stampTextHeight(const StampStyle& style, double width, double height) {
    return std::min(width, height) * clampedSizeFraction(style);
}

// Distance of the stamp from the edges on a W × H canvas, never negative.
constexpr double stampMargin(const StampStyle& style, double width, double height) {
    return std::max(0.0, std::min(width, height) * style.marginFraction);
}

}  // namespace veltrop::settings
