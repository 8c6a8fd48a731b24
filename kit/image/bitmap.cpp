#include "kit/image/bitmap.h"

#include <limits>

#include "kit/image/pixel_memory.h"

namespace veltrop::image {

std::optional<Bitmap> Bitmap::allocate(int width, int height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    if (static_cast<std::size_t>(height) > std::numeric_limits<std::size_t>::max() / stride) return std::nullopt;
    auto memory = allocatePixelMemory(stride * static_cast<std::size_t>(height));
    if (!memory) return std::nullopt;
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.stride = stride;
    bitmap.pixels = std::move(memory);
    return bitmap;
}

}  // namespace veltrop::image
