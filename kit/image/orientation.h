#pragma once
// Turning stored pixels upright according to an EXIF orientation.

#include "kit/image/bitmap.h"

namespace veltrop::image {

// True for the orientations whose upright picture exchanges width and height.
constexpr bool swapsDimensions(Orientation orientation) { return orientation >= 5 && orientation <= 8; }

// The upright picture of pixels stored with the given EXIF orientation.
// Orientation 1 and values outside 1…8 return the bitmap itself (bitmaps are
// immutable, so sharing is safe). An empty bitmap comes back when the input
// is empty or memory runs out.
Bitmap oriented(const Bitmap& stored, Orientation orientation);

// The upright picture written into `target`, which must already have the
// upright size (it may be a view of the top rows of a taller bitmap).
void orientInto(const Bitmap& stored, Orientation orientation, Bitmap& target);

}  // namespace veltrop::image
