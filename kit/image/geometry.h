#pragma once
// Drawing geometry in pixels of the output bitmap, origin at the bottom-left
// corner and y pointing up: top corners lie at the largest y.

#include <algorithm>

namespace veltrop::image {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }

    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    // Touching edges do not count, as with the platform's rectangles.
    bool intersects(const Rect& other) const {
        return width > 0 && height > 0 && other.width > 0 && other.height > 0 && x < other.maxX() &&
               other.x < maxX() && y < other.maxY() && other.y < maxY();
    }
    bool operator==(const Rect&) const = default;
};

// A rectangle of whole pixels with rows counted from the top, as bitmaps
// store them.
struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;

    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const PixelRect&) const = default;
};

}  // namespace veltrop::image
