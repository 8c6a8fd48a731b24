#include "kit/render/seven_segment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace veltrop::render {
using image::Point;
using image::Size;
namespace {

TEST(SevenSegment, LightsTheUsualSegments) {
    const SevenSegment::Segments all{true, true, true, true, true, true, true};
    EXPECT_EQ(SevenSegment::segments(8), all);
    // a b c d e f g
    EXPECT_EQ(SevenSegment::segments(1), (SevenSegment::Segments{false, true, true, false, false, false, false}));
    EXPECT_EQ(SevenSegment::segments(7), (SevenSegment::Segments{true, true, true, false, false, false, false}));
    EXPECT_EQ(SevenSegment::segments(0), (SevenSegment::Segments{true, true, true, true, true, true, false}));
    EXPECT_EQ(SevenSegment::segments(4), (SevenSegment::Segments{false, true, true, false, false, true, true}));
    EXPECT_EQ(SevenSegment::segments(-1), SevenSegment::Segments{});
    for (int digit = 0; digit <= 9; ++digit) {
        const auto& lit = SevenSegment::segments(digit);
        EXPECT_EQ(SevenSegment::shapes(static_cast<char32_t>(U'0' + digit), {0, 0}, 100).size(),
                  static_cast<std::size_t>(std::count(lit.begin(), lit.end(), true)));
    }
}

TEST(SevenSegment, MeasuresAdvancesLessTheLastGap) {
    struct Case {
        const char* text;
        double width;
    };
    for (const Case& c : {Case{"12:30", 302}, Case{"8", 58}, Case{"   ", 80}, Case{"", 0}, Case{"A", 30},
                          Case{"14 08 '26", 6 * 68 + 2 * 30 + 40 - 10}}) {
        SCOPED_TRACE(c.text);
        const Size size = SevenSegment::measure(c.text, 100);
        EXPECT_NEAR(size.width, c.width, 1e-9);
        EXPECT_EQ(size.height, 100);
    }
    // A multi-byte character is one character.
    EXPECT_NEAR(SevenSegment::measure("\u00e9", 100).width, 30, 1e-9);
}

TEST(SevenSegment, ShapesOfDigitsPunctuationAndStrings) {
    // The digit one sits at the right of its cell.
    for (const Quad& quad : SevenSegment::shapes(U'1', {0, 0}, 100))
        for (const Point& corner : quad) EXPECT_GE(corner.x, 58 - 13);
    const std::pair<char32_t, std::size_t> counts[] = {{U':', 2}, {U'\'', 1}, {U'/', 1}, {U'-', 1}, {U' ', 0}, {U'A', 0}};
    for (auto [character, count] : counts)
        EXPECT_EQ(SevenSegment::shapes(character, {0, 0}, 100).size(), count) << static_cast<char>(character);
    // The colon's dots sit one above the other, the slash leans further than the digits.
    const auto colon = SevenSegment::shapes(U':', {0, 0}, 100);
    EXPECT_LT(colon[0][0].y, colon[1][0].y);
    const auto slash = SevenSegment::shapes(U'/', {0, 0}, 100);
    EXPECT_NEAR(slash[0][3].x - slash[0][0].x, 28, 1e-9);
    // In a string the second 1 starts one digit advance and one space later.
    const auto quads = SevenSegment::shapes("1 1", {0, 0}, 100);
    ASSERT_EQ(quads.size(), 4u);
    EXPECT_NEAR(quads[2][0].x - quads[0][0].x, 68 + 30, 1e-9);
}

}  // namespace
}  // namespace veltrop::render
