#pragma once
// Shared by the renderer's layouts; not for use outside kit/render.

#include <expected>
#include <optional>

#include "kit/image/geometry.h"
#include "kit/platform/canvas.h"
#include "kit/render/renderer.h"

namespace veltrop::render::detail {

// The stamp font sized so that its capitals are `capHeight` tall.
platform::Font fontForCapHeight(double capHeight);

// Draws the request's watermark, if any, inside the photo rectangle, keeping
// clear of the timestamp's rectangle when one is given.
void drawWatermark(const RenderRequest& request, platform::Canvas& canvas, const image::Rect& photo,
                   const std::optional<image::Rect>& timestamp);

// The upright photo with the data strip below it.
[[nodiscard]] std::expected<image::Bitmap, RenderError> drawDataStrip(const RenderRequest& request, int width, int height);

}  // namespace veltrop::render::detail
