#pragma once
// Drawing works on the base layer's pixels and plane geometry throughout;
// inside kit/render they go by their short names.

#include "kit/image/bitmap.h"
#include "kit/image/blur.h"
#include "kit/image/geometry.h"
#include "kit/image/orientation.h"
#include "kit/image/utf8.h"

namespace veltrop::render {

using image::Bitmap;
using image::PixelRect;
using image::Point;
using image::Rect;
using image::Size;

using image::boxBlurWidths;
using image::isSpace;
using image::trimmedBy;

}  // namespace veltrop::render
