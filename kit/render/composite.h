#pragma once
// Laying one bitmap over another: what the drawing code uses to put a stamp,
// drawn on a surface of its own size, onto a photo of any size.

#include "kit/render/image_types.h"

namespace veltrop::render {

// Composites `layer` over `target` (both premultiplied) with its top-left
// corner at target pixel (left, top), rows counted from the top. The parts
// of the layer outside the target are left out.
void compositeOver(Bitmap& target, const Bitmap& layer, int left, int top);

}  // namespace veltrop::render
