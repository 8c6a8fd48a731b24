#pragma once
// Shared by the renderer's layouts; not for use outside kit/render.

#include <expected>
#include <functional>
#include <optional>
#include <vector>

#include "kit/platform/canvas.h"
#include "kit/render/image_types.h"
#include "kit/render/renderer.h"

namespace veltrop::render::detail {

// The stamp font sized so that its capitals are `capHeight` tall.
platform::Font fontForCapHeight(double capHeight);

// Where layers go: the pixels of a window of the output (the whole output
// in the normal case), and, on request, a record of the pixel areas drawn.
// Without pixels nothing is drawn: only the areas are recorded.
struct LayerTarget {
    Bitmap* pixels = nullptr;  // the output's pixels from (left, top) on
    int left = 0, top = 0;
    int width = 0, height = 0;  // the whole output
    std::vector<PixelRect>* touched = nullptr;
};

// Draws onto `target` only what `draw` puts inside `area` (y up, the
// output's coordinates): on surfaces the size of the area, never of the
// whole photo, which may be larger than the drawing library can take, then
// laid over the target's pixels. False when a surface could not be made.
[[nodiscard]] bool drawLayer(LayerTarget& target, const Rect& area, const std::function<void(platform::Canvas&)>& draw);
// The same onto a whole output.
[[nodiscard]] bool drawLayer(Bitmap& target, const Rect& area, const std::function<void(platform::Canvas&)>& draw);

// How far past its block a text backed by a shadow can leave ink, for
// capitals h tall at scale s: the shadow's blur and offset beyond the
// slant of the last digit, with a pixel of rounding on each side.
double inkReach(double h, double s, bool shadowed);

// Draws the request's watermark, if any, inside the photo rectangle of the
// target, keeping clear of the timestamp's rectangle when one is given.
// False when a drawing surface could not be made.
[[nodiscard]] bool drawWatermark(const RenderRequest& request, LayerTarget& target, const Rect& photo,
                                 const std::optional<Rect>& timestamp);

// The upright photo with the data strip below it.
[[nodiscard]] std::expected<image::Bitmap, RenderError> drawDataStrip(const RenderRequest& request, int width, int height);

// The strip's band, its texts and the watermark, onto an output of
// width × (height + strip height) whose top rows hold the upright photo.
[[nodiscard]] bool drawStripOver(const RenderRequest& request, LayerTarget& target, int width, int height);

// The strip's height in pixels for a W × H upright photo.
int stripHeight(const RenderRequest& request, int width, int height);

}  // namespace veltrop::render::detail
