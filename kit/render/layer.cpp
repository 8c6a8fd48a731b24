#include <algorithm>
#include <cmath>

#include "kit/image/blur.h"
#include "kit/render/composite.h"
#include "kit/render/drawing.h"
#include "kit/render/stamp_layout.h"

namespace veltrop::render::detail {

namespace {

// Each surface stays well below the drawing library's limit of 32,767 pixels
// a side and holds at most 64 MB, whatever the photo's size.
constexpr int tileSide = 4096;

int clampedPixel(double value, int limit) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(limit)));
}

}  // namespace

bool drawLayer(Bitmap& target, const Rect& area, const std::function<void(platform::Canvas&)>& draw) {
    if (target.empty()) return true;
    LayerTarget whole{&target, 0, 0, target.width, target.height, nullptr};
    return drawLayer(whole, area, draw);
}

bool drawLayer(LayerTarget& target, const Rect& area, const std::function<void(platform::Canvas&)>& draw) {
    if (target.width <= 0 || target.height <= 0 || !(area.width > 0) || !(area.height > 0)) return true;
    const double height = target.height;
    // Device pixels of the whole output, rows counted from the top.
    int left = clampedPixel(std::floor(area.minX()), target.width);
    int right = clampedPixel(std::ceil(area.maxX()), target.width);
    int top = clampedPixel(std::floor(height - area.maxY()), target.height);
    int bottom = clampedPixel(std::ceil(height - area.minY()), target.height);
    if (target.touched != nullptr && left < right && top < bottom)
        target.touched->push_back({left, top, right - left, bottom - top});
    if (target.pixels == nullptr || target.pixels->empty()) return true;
    // Only the window's pixels are drawn.
    left = std::max(left, target.left), right = std::min(right, target.left + target.pixels->width);
    top = std::max(top, target.top), bottom = std::min(bottom, target.top + target.pixels->height);
    for (int y0 = top; y0 < bottom; y0 += tileSide) {
        for (int x0 = left; x0 < right; x0 += tileSide) {
            const int w = std::min(tileSide, right - x0), h = std::min(tileSide, bottom - y0);
            auto canvas = platform::Canvas::create(w, h);
            if (!canvas) return false;
            // The tile's lower-left corner is the target's point (x0, height − y0 − h).
            canvas->translate(-x0, -(height - y0 - h));
            draw(*canvas);
            auto layer = canvas->finish();
            if (!layer) return false;
            compositeOver(*target.pixels, *layer, x0 - target.left, y0 - target.top);
        }
    }
    return true;
}

double inkReach(double h, double s, bool shadowed) {
    double reach = 0.1 * h * s + 2;
    if (!shadowed) return reach;
    // The canvas blurs with three boxes of a deviation of half the blur radius.
    const double sigma = shadowBlur(h) * s / 2;
    for (int width : boxBlurWidths(sigma)) reach += (width - 1) / 2;
    const Size offset = shadowOffset(h);
    return reach + 2 + (std::abs(offset.width) + std::abs(offset.height)) * s + 1;
}

}  // namespace veltrop::render::detail
