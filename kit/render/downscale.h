#pragma once
// Shrinking a bitmap with area averaging: every source pixel contributes in
// proportion to the part of it an output pixel covers, so fine detail is
// averaged instead of skipped (no aliasing, unlike nearest or bilinear picks).

#include "kit/image/bitmap.h"

namespace veltrop::render {

// A width × height copy of the bitmap. Meant for shrinking; a target as large
// as the source gives a copy of it. Empty when either bitmap would be empty or
// memory runs out.
image::Bitmap downscaled(const image::Bitmap& source, int width, int height);

// The same for large reductions at a fraction of the cost: blocks of n × n
// pixels are first averaged with integer sums, n as large as leaves at least
// twice the target size, and that smaller picture is shrunk as above. Sharp
// edges may move by up to a third of an output pixel.
image::Bitmap quicklyDownscaled(const image::Bitmap& source, int width, int height);

// The size that fits within maxPixelSize on the longer side, keeping the
// aspect ratio, never larger than the source; the shorter side is at least 1.
struct FittedSize {
    int width = 0;
    int height = 0;
    bool operator==(const FittedSize&) const = default;
};
FittedSize fittedSize(int width, int height, int maxPixelSize);

}  // namespace veltrop::render
