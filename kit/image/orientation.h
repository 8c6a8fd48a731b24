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

// Stored rows firstRow … firstRow + rows.height − 1 of a picture stored
// rows.width × storedHeight, written where they belong in the upright
// `target`. Placing every stored row once, in any bands and any order,
// gives what orientInto gives: a decoder turns a picture band by band.
void placeStoredRows(const Bitmap& rows, int firstRow, int storedHeight, Orientation orientation, Bitmap& target);

// Rows first … first + count − 1 of a bitmap, sharing its pixels; empty when
// they do not all lie inside it.
Bitmap rowsOf(const Bitmap& bitmap, int first, int count);

}  // namespace veltrop::image
