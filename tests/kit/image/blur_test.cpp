#include "kit/image/blur.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace veltrop::image {
namespace {

TEST(Blur, SpreadsAPointSymmetricallyAndKeepsItsWeight) {
    constexpr int size = 41, centre = 20;
    std::vector<std::uint8_t> plane(size * size, 0);
    for (int y = centre - 2; y <= centre + 2; ++y)
        for (int x = centre - 2; x <= centre + 2; ++x) plane[y * size + x] = 255;
    const int before = std::accumulate(plane.begin(), plane.end(), 0);
    blurCoverage(plane.data(), size, size, size, 3);
    const int after = std::accumulate(plane.begin(), plane.end(), 0);
    EXPECT_NEAR(after, before, before * 0.05);
    EXPECT_LT(plane[centre * size + centre], 255);
    EXPECT_GT(plane[centre * size + centre + 6], 0);
    EXPECT_EQ(plane[centre * size + centre + 6], plane[centre * size + centre - 6]);
    EXPECT_EQ(plane[(centre + 6) * size + centre], plane[(centre - 6) * size + centre]);
    // Falls off with distance.
    EXPECT_GT(plane[centre * size + centre + 3], plane[centre * size + centre + 6]);
}

}  // namespace
}  // namespace veltrop::image
