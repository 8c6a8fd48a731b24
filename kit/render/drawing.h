#pragma once
// Shared by the renderer's layouts; not for use outside kit/render.

#include <expected>
#include <functional>
#include <optional>

#include "kit/platform/canvas.h"
#include "kit/render/geometry.h"
#include "kit/render/renderer.h"

namespace veltrop::render::detail {

// The stamp font sized so that its capitals are `capHeight` tall.
platform::Font fontForCapHeight(double capHeight);

// Draws onto `target` only what `draw` puts inside `area` (y up, the
// target's own coordinates): on surfaces the size of the area, never of the
// whole photo, which may be larger than the drawing library can take, then
// laid over the target's pixels. False when a surface could not be made.
[[nodiscard]] bool drawLayer(Bitmap& target, const Rect& area, const std::function<void(platform::Canvas&)>& draw);

// How far past its block a text backed by a shadow can leave ink, for
// capitals h tall at scale s: the shadow's blur and offset beyond the
// slant of the last digit, with a pixel of rounding on each side.
double inkReach(double h, double s, bool shadowed);

// Draws the request's watermark, if any, inside the photo rectangle of the
// target, keeping clear of the timestamp's rectangle when one is given.
// False when a drawing surface could not be made.
[[nodiscard]] bool drawWatermark(const RenderRequest& request, Bitmap& target, const Rect& photo,
                                 const std::optional<Rect>& timestamp);

// The upright photo with the data strip below it.
std::expected<Bitmap, RenderError> drawDataStrip(const RenderRequest& request, int width, int height);

}  // namespace veltrop::render::detail
