#include "kit/image/orientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace veltrop::image {
namespace {

// Each stored pixel holds its own stored coordinates.
Bitmap numbered(int width, int height) {
    auto bitmap = Bitmap::allocate(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x);
            std::memcpy(bitmap->row(y) + 4 * x, &value, 4);
        }
    return *bitmap;
}

std::pair<int, int> storedAt(const Bitmap& bitmap, int x, int y) {
    std::uint32_t value = 0;
    std::memcpy(&value, bitmap.row(y) + 4 * x, 4);
    return {static_cast<int>(value & 0xFFFF), static_cast<int>(value >> 16)};
}

// Where the EXIF definition puts the stored image's first row in the upright
// picture: the corner holding stored (0, 0), and the direction in which the
// rest of that row runs.
struct Expected {
    Orientation orientation;
    bool swapped;
    int cornerX, cornerY;  // 0 = left/top, 1 = right/bottom
    int stepX, stepY;      // of stored (1, 0) relative to stored (0, 0)
};

TEST(Orientation, PlacesTheFirstStoredRowAsExifDefines) {
    const Expected table[] = {
        {1, false, 0, 0, +1, 0},  // row 0 is the top, read left to right
        {2, false, 1, 0, -1, 0},  // top, right to left
        {3, false, 1, 1, -1, 0},  // bottom, right to left
        {4, false, 0, 1, +1, 0},  // bottom, left to right
        {5, true, 0, 0, 0, +1},   // left side, top to bottom
        {6, true, 1, 0, 0, +1},   // right side, top to bottom
        {7, true, 1, 1, 0, -1},   // right side, bottom to top
        {8, true, 0, 1, 0, -1},   // left side, bottom to top
    };
    // Sizes around the tile edge catch off-by-one errors at tile borders.
    for (auto [width, height] : {std::pair{3, 2}, std::pair{33, 65}, std::pair{64, 31}}) {
        const Bitmap stored = numbered(width, height);
        for (const Expected& e : table) {
            SCOPED_TRACE(testing::Message() << "orientation " << e.orientation << " size " << width << "x" << height);
            const Bitmap upright = oriented(stored, e.orientation);
            ASSERT_EQ(upright.width, e.swapped ? height : width);
            ASSERT_EQ(upright.height, e.swapped ? width : height);
            const int x0 = e.cornerX ? upright.width - 1 : 0;
            const int y0 = e.cornerY ? upright.height - 1 : 0;
            EXPECT_EQ(storedAt(upright, x0, y0), (std::pair{0, 0}));
            EXPECT_EQ(storedAt(upright, x0 + e.stepX, y0 + e.stepY), (std::pair{1, 0}));
            // Every stored pixel appears exactly once.
            std::vector<int> seen(static_cast<std::size_t>(width * height));
            for (int y = 0; y < upright.height; ++y)
                for (int x = 0; x < upright.width; ++x) {
                    auto [sx, sy] = storedAt(upright, x, y);
                    ++seen[static_cast<std::size_t>(sy * width + sx)];
                }
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), width * height);
        }
    }
}

// A decoder places stored rows a band at a time, the bands of its own size
// and, for the turns that mirror rows, landing bottom first.
TEST(Orientation, PlacingBandsOfRowsGivesTheWholeTurn) {
    for (auto [width, height] : {std::pair{37, 70}, std::pair{64, 33}, std::pair{1, 5}}) {
        const Bitmap stored = numbered(width, height);
        for (Orientation orientation = 1; orientation <= 8; ++orientation) {
            const Bitmap reference = oriented(stored, orientation);
            for (int band : {1, 7, 32, 100}) {
                SCOPED_TRACE(testing::Message() << "orientation " << orientation << " size " << width << "x" << height
                                                << " band " << band);
                auto target = Bitmap::allocate(reference.width, reference.height);
                ASSERT_TRUE(target);
                for (int first = 0; first < height; first += band) {
                    const Bitmap rows = rowsOf(stored, first, std::min(band, height - first));
                    ASSERT_FALSE(rows.empty());
                    placeStoredRows(rows, first, height, orientation, *target);
                }
                for (int y = 0; y < reference.height; ++y)
                    ASSERT_EQ(std::memcmp(target->row(y), reference.row(y), static_cast<std::size_t>(reference.width) * 4), 0)
                        << "row " << y;
            }
        }
    }
}

TEST(Orientation, UprightAndUnknownValuesShareTheBitmap) {
    const Bitmap stored = numbered(4, 3);
    for (Orientation value : {1, 0, 9, -3}) EXPECT_EQ(oriented(stored, value).pixels, stored.pixels) << value;
    EXPECT_TRUE(oriented(Bitmap{}, 6).empty());
}

}  // namespace
}  // namespace veltrop::image
