#include "kit/render/downscale.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace veltrop::render {
using image::Bitmap;

namespace {

TEST(Downscale, FittedSizeKeepsAspectAndNeverEnlarges) {
    struct Case {
        int width, height, max;
        FittedSize expected;
    };
    const Case cases[] = {
        {4000, 3000, 1600, {1600, 1200}}, {3000, 4000, 700, {525, 700}}, {800, 600, 1600, {800, 600}},
        {10000, 3, 100, {100, 1}},        {0, 10, 100, {0, 0}},         {1601, 1601, 1600, {1600, 1600}},
    };
    for (const Case& c : cases) EXPECT_EQ(fittedSize(c.width, c.height, c.max), c.expected) << c.width << "x" << c.height;
}

TEST(Downscale, AveragesAreasAndKeepsPremultipliedPixelsValid) {
    // A one-pixel checkerboard of black and white shrinks to even grey;
    // picking pixels would give all black or all white.
    auto checker = Bitmap::allocate(301, 199);
    for (int y = 0; y < checker->height; ++y)
        for (int x = 0; x < checker->width; ++x) {
            const std::uint8_t v = (x + y) % 2 ? 255 : 0;
            std::uint8_t* p = checker->row(y) + 4 * x;
            p[0] = p[1] = p[2] = v, p[3] = 255;
        }
    const Bitmap small = downscaled(*checker, 40, 27);
    ASSERT_EQ(small.width, 40);
    ASSERT_EQ(small.height, 27);
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x) {
            EXPECT_NEAR(small.row(y)[4 * x], 128, 12);
            EXPECT_EQ(small.row(y)[4 * x + 3], 255);
        }

    // White at varying alpha stays white: no colour above its alpha.
    auto source = Bitmap::allocate(9, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) std::fill_n(source->row(y) + 4 * x, 4, static_cast<std::uint8_t>((x * 31 + y * 17) % 256));
    const Bitmap shrunk = downscaled(*source, 4, 3);
    for (int y = 0; y < shrunk.height; ++y)
        for (int x = 0; x < shrunk.width; ++x) {
            const std::uint8_t* p = shrunk.row(y) + 4 * x;
            EXPECT_LE(p[0], p[3]);
            EXPECT_NEAR(p[0], p[3], 1);
        }
}

}  // namespace
}  // namespace veltrop::render
