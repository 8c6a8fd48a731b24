#include "kit/render/downscale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

// Averaging blocks first must not move or blur what the thumbnail shows:
// sizes that blocks do not divide, a smooth gradient and a sharp-edged
// square (a stamp, say) agree with the exact area average within rounding.
TEST(Downscale, QuickDownscaleAgreesWithTheExactAreaAverage) {
    for (auto [width, height] : {std::pair{1203, 805}, std::pair{640, 2001}}) {
        auto source = Bitmap::allocate(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = source->row(y) + 4 * x;
                const bool square = x >= width / 3 && x < width / 3 + 240 && y >= height / 2 && y < height / 2 + 120;
                p[0] = static_cast<std::uint8_t>(x * 255 / width);
                p[1] = static_cast<std::uint8_t>(y * 255 / height);
                p[2] = square ? 255 : 0;
                p[3] = 255;
            }
        const FittedSize fit = fittedSize(width, height, 120);
        const Bitmap exact = downscaled(*source, fit.width, fit.height);
        const Bitmap quick = quicklyDownscaled(*source, fit.width, fit.height);
        ASSERT_EQ(quick.width, exact.width);
        ASSERT_EQ(quick.height, exact.height);
        int worst = 0;
        for (int y = 0; y < exact.height; ++y)
            for (int i = 0; i < exact.width * 4; ++i)
                worst = std::max(worst, std::abs(int{quick.row(y)[i]} - int{exact.row(y)[i]}));
        // A block cut by the square's edge counts wholly on one side: the edge
        // moves by under half a block, less than a third of an output pixel.
        EXPECT_LE(worst, 85) << width << "x" << height;
        // Away from the edge, and on the whole, nothing moves.
        long long sum = 0, gradient = 0;
        for (int y = 0; y < exact.height; ++y)
            for (int x = 0; x < exact.width; ++x) {
                sum += quick.row(y)[4 * x + 2] - exact.row(y)[4 * x + 2];
                for (int c = 0; c < 2; ++c)
                    gradient = std::max<long long>(gradient, std::abs(quick.row(y)[4 * x + c] - exact.row(y)[4 * x + c]));
            }
        EXPECT_LE(gradient, 2) << width << "x" << height;
        EXPECT_LE(std::abs(sum), exact.width * exact.height / 50) << width << "x" << height;
    }
}

}  // namespace
}  // namespace veltrop::render
