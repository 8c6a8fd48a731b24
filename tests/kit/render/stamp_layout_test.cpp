#include "kit/render/stamp_layout.h"

#include <gtest/gtest.h>

namespace veltrop::render {
using image::Rect;
namespace {

using settings::StampCorner;

TEST(StampLayout, MarginIsCappedAtAFifthOfTheShorterSide) {
    settings::StampStyle style;
    style.marginFraction = 0.5;
    const StampLayout layout = stampLayout(style, 1000, 800, {100, 20});
    EXPECT_EQ(layout.safe, (Rect{160, 160, 680, 480}));
    EXPECT_EQ(usedMargin(-1, 1000, 800), 0);
}

TEST(WatermarkLayout, MovesClearOfATimestampInTheSameCorner) {
    const Rect photo{0, 0, 6000, 4000};
    const Rect bottomRight{5300, 100, 600, 150}, topLeft{100, 3750, 600, 150};  // margin 100
    struct Case {
        StampCorner corner;
        Rect timestamp, expected;
    };
    for (const Case& c : {Case{StampCorner::bottomRight, bottomRight, {5100, 100 + 150 + 60, 800, 300}},
                          Case{StampCorner::topLeft, topLeft, {100, 3750 - 60 - 300, 800, 300}},
                          Case{StampCorner::bottomLeft, bottomRight, {100, 100, 800, 300}}}) {
        SCOPED_TRACE(settings::rawValue(c.corner));
        const Placement placement = placeWatermark({800, 300}, photo, 0.025, c.corner, c.timestamp);
        EXPECT_EQ(placement.rect, c.expected);
        EXPECT_EQ(placement.scale, 1);
    }
}

// The usual size and the lowest opacity are the renderer's image-watermark test's.
TEST(WatermarkLayout, ClampsSizeAndOpacity) {
    EXPECT_DOUBLE_EQ(watermarkContentHeight(0.5, 4000, 3000), 600);
    EXPECT_DOUBLE_EQ(watermarkContentHeight(0.001, 4000, 3000), 60);
    EXPECT_DOUBLE_EQ(watermarkOpacity(1.4), 1);
}

// The band's height with and without a record line is the renderer's strip test's.
TEST(StripLayout, TheSizeFractionIsClampedLikeTheOverlays) {
    EXPECT_EQ(stripMetrics(1, 1000, 1000, false).lineUnit, 156);
}

TEST(StripLayout, TrimsSpacesButNotLineBreaks) {
    for (const auto& [text, trimmed] :
         {std::pair{"  Site 4 \t", "Site 4"}, {"\u00a0North\u3000", "North"}, {"\nA\n", "\nA\n"}, {"   ", ""}})
        EXPECT_EQ(trimmedSpaces(text), trimmed);
}

std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> characters;
    for (char c : text) characters.emplace_back(1, c);
    return characters;
}

// Every character, the ellipsis included, is 10 wide.
double tenEach(std::string_view text) {
    double width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        i += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        width += 10;
    }
    return width;
}

TEST(Shortening, CutsAtTheEndAndAppendsAnEllipsis) {
    struct Case {
        const char* text;
        double limit;
        const char* expected;
    };
    for (const Case& c : {
             Case{"abcdefghij", 200, "abcdefghij"},
             Case{"abcdefghij", 100, "abcdefghij"},
             Case{"abcdefghij", 55, "abcd\u2026"},
             Case{"ab cd", 35, "ab\u2026"},          // the space before the cut is trimmed
             Case{"abcdefghij", 19, ""},           // not even one character and the ellipsis
             Case{"", 10, ""},
         }) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(shortenedToFit(split(c.text), c.limit, tenEach), c.expected);
    }
}

}  // namespace
}  // namespace veltrop::render
