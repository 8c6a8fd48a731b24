#include "kit/image/orientation.h"

#include <algorithm>
#include <cstring>

namespace veltrop::image {

namespace {

using Pixel = std::uint32_t;

const Pixel* pixelRow(const Bitmap& bitmap, int y) { return reinterpret_cast<const Pixel*>(bitmap.row(y)); }
Pixel* pixelRow(Bitmap& bitmap, int y) { return reinterpret_cast<Pixel*>(bitmap.row(y)); }

// Orientations 1–4 keep rows as rows: copy or reverse whole rows.
void copyRows(const Bitmap& in, Bitmap& out, bool mirrorX, bool mirrorY) {
    for (int y = 0; y < out.height; ++y) {
        const Pixel* source = pixelRow(in, mirrorY ? in.height - 1 - y : y);
        Pixel* target = pixelRow(out, y);
        if (mirrorX)
            std::reverse_copy(source, source + in.width, target);
        else
            std::memcpy(target, source, static_cast<std::size_t>(in.width) * sizeof(Pixel));
    }
}

// Orientations 5–8 turn rows into columns. Working in square tiles keeps
// both the reads and the writes inside the cache.
void transposeTiles(const Bitmap& in, Bitmap& out, bool mirrorX, bool mirrorY) {
    constexpr int tile = 32;
    // out(x, y) = in(sx, sy) with sx from y and sy from x.
    for (int y0 = 0; y0 < out.height; y0 += tile) {
        const int y1 = std::min(y0 + tile, out.height);
        for (int x0 = 0; x0 < out.width; x0 += tile) {
            const int x1 = std::min(x0 + tile, out.width);
            for (int y = y0; y < y1; ++y) {
                const int sx = mirrorX ? in.width - 1 - y : y;
                Pixel* target = pixelRow(out, y);
                for (int x = x0; x < x1; ++x) {
                    const int sy = mirrorY ? in.height - 1 - x : x;
                    target[x] = pixelRow(in, sy)[sx];
                }
            }
        }
    }
}

}  // namespace

void orientInto(const Bitmap& stored, Orientation orientation, Bitmap& target) {
    switch (orientation) {
        case 2: copyRows(stored, target, true, false); break;
        case 3: copyRows(stored, target, true, true); break;
        case 4: copyRows(stored, target, false, true); break;
        case 5: transposeTiles(stored, target, false, false); break;  // out(x,y) = in(y, x)
        case 6: transposeTiles(stored, target, false, true); break;   // out(x,y) = in(y, H-1-x)
        case 7: transposeTiles(stored, target, true, true); break;    // out(x,y) = in(W-1-y, H-1-x)
        case 8: transposeTiles(stored, target, true, false); break;   // out(x,y) = in(W-1-y, x)
        default: copyRows(stored, target, false, false); break;
    }
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
