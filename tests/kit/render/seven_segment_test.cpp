#include "kit/render/seven_segment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace veltrop::render {
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

TEST(SevenSegment, TopSegmentIsInsetAndSlanted) {
    const auto quads = SevenSegment::shapes(U'7', {10, 20}, 100);
    ASSERT_EQ(quads.size(), 3u);
    const Quad& a = quads[0];  // segments come in ascending order
    EXPECT_NEAR(a[0].x, 10 + 7.15 + 5.22, 1e-9);
    EXPECT_NEAR(a[0].y, 20 + 87, 1e-9);
    EXPECT_NEAR(a[1].x, 10 + 50.85 + 5.22, 1e-9);
    EXPECT_NEAR(a[2].x, 10 + 50.85 + 6, 1e-9);
    EXPECT_NEAR(a[2].y, 20 + 100, 1e-9);
    EXPECT_NEAR(a[3].x, 10 + 7.15 + 6, 1e-9);
}

TEST(SevenSegment, OneSitsAtTheRightOfItsCell) {
    for (const Quad& quad : SevenSegment::shapes(U'1', {0, 0}, 100))
        for (const Point& corner : quad) EXPECT_GE(corner.x, 58 - 13);
}

TEST(SevenSegment, SlashLeansFurtherThanDigits) {
    const auto quads = SevenSegment::shapes(U'/', {0, 0}, 100);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_NEAR(quads[0][3].x - quads[0][0].x, 28, 1e-9);
    EXPECT_NEAR(quads[0][3].y, 100, 1e-9);
}

TEST(SevenSegment, PunctuationShapes) {
    const auto colon = SevenSegment::shapes(U':', {0, 0}, 100);
    ASSERT_EQ(colon.size(), 2u);
    EXPECT_NEAR(colon[0][0].y, 20, 1e-9);
    EXPECT_NEAR(colon[1][0].y, 62, 1e-9);
    EXPECT_NEAR(colon[0][1].x - colon[0][0].x, 0.95 * 13, 1e-9);
    EXPECT_NEAR(colon[0][0].x, (30 - 0.95 * 13) / 2 + 6 * 20 / 100.0, 1e-9);

    const auto tick = SevenSegment::shapes(U'\'', {0, 0}, 100);
    ASSERT_EQ(tick.size(), 1u);
    EXPECT_NEAR(tick[0][2].y, 100, 1e-9);
    EXPECT_NEAR(tick[0][2].y - tick[0][1].y, 2.2 * 0.9 * 13, 1e-9);

    EXPECT_TRUE(SevenSegment::shapes(U' ', {0, 0}, 100).empty());
    EXPECT_TRUE(SevenSegment::shapes(U'A', {0, 0}, 100).empty());
}

TEST(SevenSegment, StringWalksByAdvance) {
    const auto quads = SevenSegment::shapes("1 1", {0, 0}, 100);
    ASSERT_EQ(quads.size(), 4u);
    // The second 1 starts one digit advance and one space later.
    EXPECT_NEAR(quads[2][0].x - quads[0][0].x, 68 + 30, 1e-9);
}

}  // namespace
}  // namespace veltrop::render
