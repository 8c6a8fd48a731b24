#pragma once
// Slanted seven-segment digits and a few punctuation marks, built from filled
// quadrilaterals in one flat colour; no fonts involved. The characters it can
// show are the retro glyph set; anything else draws nothing.

#include <array>
#include <string_view>
#include <vector>

#include "kit/image/geometry.h"
#include "kit/settings/stamp_style.h"

namespace veltrop::platform {
class Canvas;
}

namespace veltrop::render {

// Corners in the order lower-left, lower-right, upper-right, upper-left.
using Quad = std::array<image::Point, 4>;

class SevenSegment {
public:
    // Segments a to g are numbered 0 to 6: top, upper right, lower right,
    // bottom, lower left, upper left, middle.
    using Segments = std::array<bool, 7>;

    static constexpr double thickness = 0.13;      // × h
    static constexpr double slant = 0.06;          // × h, at the top of the cell
    static constexpr double digitWidth = 0.58;     // × h
    static constexpr double narrowWidth = 0.3;     // × h
    static constexpr double gap = 0.1;             // × h
    static constexpr double endInset = 0.55;       // × thickness

    // The lit segments of 0 to 9; nothing for anything else.
    static const Segments& segments(int digit);

    static double advance(char32_t character, double h);
    // UTF-8 text; the height is always h, the width never negative.
    static image::Size measure(std::string_view text, double h);

    // The filled shapes of one character whose cell has its lower-left corner at `cell`.
    static std::vector<Quad> shapes(char32_t character, image::Point cell, double h);
    // Every shape of a UTF-8 text, walking from `origin` one advance at a time.
    static std::vector<Quad> shapes(std::string_view text, image::Point origin, double h);

    // Fills the text's shapes in one colour on the canvas's current transform.
    static void draw(std::string_view text, platform::Canvas& canvas, image::Point origin, double h,
                     const settings::Color& color);
};

}  // namespace veltrop::render
