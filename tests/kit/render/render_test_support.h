#pragma once
// Small bitmaps and JPEGs made in the test, and the ink found on them.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "kit/export/image_fixtures.h"
#include "kit/image/bitmap.h"

namespace veltrop::render::probe {

using image::Bitmap;

struct Bgra {
    std::uint8_t b = 0, g = 0, r = 0, a = 255;
    bool operator==(const Bgra&) const = default;
};

inline Bitmap solid(int width, int height, Bgra color) {
    Bitmap bitmap = *Bitmap::allocate(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.row(y) + x * 4;
            p[0] = color.b, p[1] = color.g, p[2] = color.r, p[3] = color.a;
        }
    return bitmap;
}

// A JPEG file whose left half is one colour and right half another, stored
// with an EXIF orientation.
inline void writeHalvesJpeg(const std::filesystem::path& file, int width, int height, Bgra left, Bgra right,
                            int orientation = 1) {
    Bitmap bitmap = solid(width, height, right);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x) std::copy_n(&left.b, 4, bitmap.row(y) + 4 * x);
    testing::TiffBlock tiff;
    tiff.ifd0 = {testing::shorts(0x0112, {static_cast<std::uint16_t>(orientation)})};
    testing::writeBytes(file, testing::withSegments(testing::encodeJpeg(bitmap), {testing::exifSegment(tiff.build())}));
}

inline Bgra pixel(const Bitmap& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline int difference(Bgra a, Bgra b) {
    return std::max({std::abs(a.b - b.b), std::abs(a.g - b.g), std::abs(a.r - b.r), std::abs(a.a - b.a)});
}

// Device pixels, y down; `right` and `bottom` are one past the last ink pixel.
struct InkBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The box of pixels for which `pick` holds, searched within rows [firstRow, lastRow).
template <class Pick>
std::optional<InkBox> boxWhere(const Bitmap& bitmap, Pick pick, int firstRow = 0, int lastRow = -1) {
    if (lastRow < 0) lastRow = bitmap.height;
    std::optional<InkBox> box;
    for (int y = firstRow; y < lastRow; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            if (!pick(pixel(bitmap, x, y))) continue;
            if (!box) box = InkBox{x, y, x + 1, y + 1};
            box->left = std::min(box->left, x), box->right = std::max(box->right, x + 1);
            box->top = std::min(box->top, y), box->bottom = std::max(box->bottom, y + 1);
        }
    return box;
}

// Pixels that differ from the background by more than the threshold.
inline std::optional<InkBox> inkBox(const Bitmap& bitmap, Bgra background, int threshold = 60, int firstRow = 0) {
    return boxWhere(bitmap, [&](Bgra p) { return difference(p, background) > threshold; }, firstRow);
}

// Pixels within the tolerance of a colour.
inline std::optional<InkBox> colorBox(const Bitmap& bitmap, Bgra color, int tolerance) {
    return boxWhere(bitmap, [&](Bgra p) { return difference(p, color) <= tolerance; });
}

inline bool samePixels(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (int y = 0; y < a.height; ++y)
        if (!std::equal(a.row(y), a.row(y) + a.width * 4, b.row(y))) return false;
    return true;
}

}  // namespace veltrop::render::probe
