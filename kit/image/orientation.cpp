#include "kit/image/orientation.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// both the reads and the writes inside the cache; within a tile, blocks of
// 4 × 4 pixels are turned in registers where the processor has them.
template <bool mirrorY>
void transposeTiles(const Bitmap& rows, int first, int storedHeight, Bitmap& out, bool mirrorX) {
    constexpr int tile = 64;
    const int width = rows.width;
    const auto inStride = static_cast<std::ptrdiff_t>(rows.stride / sizeof(Pixel));
    const auto outStride = static_cast<std::ptrdiff_t>(out.stride / sizeof(Pixel));
    const Pixel* const in = pixelRow(rows, 0);
    // out(x, y) = stored(sx, sy): stored column sx is output row y, stored
    // row first + i is output column x.
    const std::ptrdiff_t rowStep = mirrorX ? -outStride : outStride;
    Pixel* const columnZero = pixelRow(out, mirrorX ? width - 1 : 0);
    const auto outColumn = [&](int i) { return mirrorY ? storedHeight - 1 - (first + i) : first + i; };
    for (int c0 = 0; c0 < width; c0 += tile) {
        const int c1 = std::min(c0 + tile, width);
        for (int i0 = 0; i0 < rows.height; i0 += tile) {
            const int i1 = std::min(i0 + tile, rows.height);
            int i = i0;
#if defined(__SSE2__)
            for (; i + 4 <= i1; i += 4) {
                const Pixel* source = in + i * inStride;
                Pixel* target = columnZero + (mirrorY ? outColumn(i + 3) : outColumn(i));
                int c = c0;
                for (; c + 4 <= c1; c += 4) {
                    const auto load = [&](int k) {
                        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + k * inStride + c));
                    };
                    const __m128i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
                    const __m128i a = _mm_unpacklo_epi32(r0, r1), b = _mm_unpacklo_epi32(r2, r3);
                    const __m128i d = _mm_unpackhi_epi32(r0, r1), e = _mm_unpackhi_epi32(r2, r3);
                    // Column c + j of the four rows, top row first (last first when mirrored).
                    const auto store = [&](int j, __m128i column) {
                        if constexpr (mirrorY) column = _mm_shuffle_epi32(column, 0x1B);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + (c + j) * rowStep), column);
                    };
                    store(0, _mm_unpacklo_epi64(a, b));
                    store(1, _mm_unpackhi_epi64(a, b));
                    store(2, _mm_unpacklo_epi64(d, e));
                    store(3, _mm_unpackhi_epi64(d, e));
                }
                for (; c < c1; ++c)
                    for (int k = 0; k < 4; ++k) columnZero[c * rowStep + outColumn(i + k)] = source[k * inStride + c];
            }
#endif
            for (; i < i1; ++i) {
                const Pixel* source = in + i * inStride;
                const int x = outColumn(i);
                for (int c = c0; c < c1; ++c) columnZero[c * rowStep + x] = source[c];
            }
        }
    }
}

void transposeTiles(const Bitmap& rows, int first, int storedHeight, Bitmap& out, bool mirrorX, bool mirrorY) {
    if (mirrorY)
        transposeTiles<true>(rows, first, storedHeight, out, mirrorX);
    else
        transposeTiles<false>(rows, first, storedHeight, out, mirrorX);
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
