#include "kit/render/composite.h"

#include <algorithm>
#include <cstdint>

namespace veltrop::render {

namespace {

// x × a / 255, rounded as the drawing library rounds it.
constexpr std::uint32_t scaled(std::uint32_t x, std::uint32_t a) {
    const std::uint32_t t = x * a + 0x80;
    return (t + (t >> 8)) >> 8;
}

}  // namespace

void compositeOver(Bitmap& target, const Bitmap& layer, int left, int top) {
    if (target.empty() || layer.empty()) return;
    const int firstX = std::max(0, -left), lastX = std::min(layer.width, target.width - left);
    const int firstY = std::max(0, -top), lastY = std::min(layer.height, target.height - top);
    for (int y = firstY; y < lastY; ++y) {
        const std::uint8_t* source = layer.row(y) + 4 * static_cast<std::size_t>(firstX);
        std::uint8_t* destination = target.row(top + y) + 4 * static_cast<std::size_t>(left + firstX);
        for (int x = firstX; x < lastX; ++x, source += 4, destination += 4) {
            const std::uint32_t alpha = source[3];
            if (alpha == 0) continue;  // premultiplied: nothing drawn here
            if (alpha == 255) {
                std::copy_n(source, 4, destination);
                continue;
            }
            for (int c = 0; c < 4; ++c)
                destination[c] = static_cast<std::uint8_t>(
                    std::min<std::uint32_t>(255, source[c] + scaled(destination[c], 255 - alpha)));
        }
    }
}

}  // namespace veltrop::render
