#pragma once
// The one pixel format the whole pipeline draws on: 32 bits per pixel,
// premultiplied alpha, bytes in memory B, G, R, A (cairo's ARGB32 on a
// little-endian machine). JPEG decodes straight into it, so no conversion
// pass sits between decoding and drawing.
//
// A bitmap handed on is treated as immutable and may be shared between
// threads; an operation that changes pixels returns a new bitmap.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace veltrop::image {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;  // bytes per row
    std::shared_ptr<std::uint8_t[]> pixels;

    bool empty() const { return width <= 0 || height <= 0 || !pixels; }
    const std::uint8_t* row(int y) const { return pixels.get() + stride * static_cast<std::size_t>(y); }
    std::uint8_t* row(int y) { return pixels.get() + stride * static_cast<std::size_t>(y); }

    // Uninitialised pixels; nullopt for a zero or negative size or when memory runs out.
    static std::optional<Bitmap> allocate(int width, int height);
};

// EXIF orientation, 1 (upright) to 8.
using Orientation = int;

}  // namespace veltrop::image
