#include "kit/image/orientation.h"

#include <algorithm>
#include <cstring>

namespace veltrop::image {

namespace {

using Pixel = std::uint32_t;

const Pixel* pixelRow(const Bitmap& bitmap, int y) { return reinterpret_cast<const Pixel*>(bitmap.row(y)); }
Pixel* pixelRow(Bitmap& bitmap, int y) { return reinterpret_cast<Pixel*>(bitmap.row(y)); }

// Orientations 1–4 keep rows as rows: copy or reverse whole rows.
void copyRows(const Bitmap& rows, int first, int storedHeight, Bitmap& out, bool mirrorX, bool mirrorY) {
    for (int i = 0; i < rows.height; ++i) {
        const int storedY = first + i;
        const Pixel* source = pixelRow(rows, i);
        Pixel* target = pixelRow(out, mirrorY ? storedHeight - 1 - storedY : storedY);
        if (mirrorX)
            std::reverse_copy(source, source + rows.width, target);
        else
            std::memcpy(target, source, static_cast<std::size_t>(rows.width) * sizeof(Pixel));
    }
}

// Orientations 5–8 turn rows into columns. Working in square tiles keeps
// both the reads and the writes inside the cache.
void transposeTiles(const Bitmap& rows, int first, int storedHeight, Bitmap& out, bool mirrorX, bool mirrorY) {
    constexpr int tileRows = 32, tileColumns = 32;
    // out(x, y) = stored(sx, sy) with sx from y and sy from x.
    const int storedWidth = rows.width;
    for (int y0 = 0; y0 < out.height; y0 += tileRows) {
        const int y1 = std::min(y0 + tileRows, out.height);
        for (int i0 = 0; i0 < rows.height; i0 += tileColumns) {
            const int i1 = std::min(i0 + tileColumns, rows.height);
            for (int y = y0; y < y1; ++y) {
                const int sx = mirrorX ? storedWidth - 1 - y : y;
                Pixel* target = pixelRow(out, y);
                for (int i = i0; i < i1; ++i) {
                    const int sy = first + i;
                    target[mirrorY ? storedHeight - 1 - sy : sy] = pixelRow(rows, i)[sx];
                }
            }
        }
    }
}

}  // namespace

void placeStoredRows(const Bitmap& rows, int firstRow, int storedHeight, Orientation orientation, Bitmap& target) {
    if (rows.empty()) return;
    switch (orientation) {
        case 2: copyRows(rows, firstRow, storedHeight, target, true, false); break;
        case 3: copyRows(rows, firstRow, storedHeight, target, true, true); break;
        case 4: copyRows(rows, firstRow, storedHeight, target, false, true); break;
        case 5: transposeTiles(rows, firstRow, storedHeight, target, false, false); break;  // out(x,y) = in(y, x)
        case 6: transposeTiles(rows, firstRow, storedHeight, target, false, true); break;   // out(x,y) = in(y, H-1-x)
        case 7: transposeTiles(rows, firstRow, storedHeight, target, true, true); break;    // out(x,y) = in(W-1-y, H-1-x)
        case 8: transposeTiles(rows, firstRow, storedHeight, target, true, false); break;   // out(x,y) = in(W-1-y, x)
        default: copyRows(rows, firstRow, storedHeight, target, false, false); break;
    }
}

Bitmap rowsOf(const Bitmap& bitmap, int first, int count) {
    if (bitmap.empty() || first < 0 || count <= 0 || first + count > bitmap.height) return {};
    Bitmap view = bitmap;
    view.height = count;
    view.pixels = std::shared_ptr<std::uint8_t[]>(bitmap.pixels, bitmap.pixels.get() + bitmap.stride * static_cast<std::size_t>(first));
    return view;
}

void orientInto(const Bitmap& stored, Orientation orientation, Bitmap& target) {
    placeStoredRows(stored, 0, stored.height, orientation, target);
}

Bitmap oriented(const Bitmap& stored, Orientation orientation) {
    if (stored.empty()) return {};
    if (orientation < 2 || orientation > 8) return stored;
    const bool swap = swapsDimensions(orientation);
    auto result = Bitmap::allocate(swap ? stored.height : stored.width, swap ? stored.width : stored.height);
    if (!result) return {};
    orientInto(stored, orientation, *result);
    return *result;
}

}  // namespace veltrop::image
