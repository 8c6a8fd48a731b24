#include "kit/render/downscale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltrop::render {

namespace {

struct Contribution {
    int first = 0;               // first source index
    std::vector<float> weights;  // for first, first + 1, …
};

// For each output index, the source indices it covers and how much of each.
std::vector<Contribution> contributions(int sourceSize, int targetSize) {
    const double scale = static_cast<double>(sourceSize) / targetSize;
    std::vector<Contribution> result(static_cast<std::size_t>(targetSize));
    for (int i = 0; i < targetSize; ++i) {
        const double start = i * scale;
        const double end = std::min<double>((i + 1) * scale, sourceSize);
        const int first = static_cast<int>(std::floor(start));
        const int last = std::min(sourceSize - 1, static_cast<int>(std::ceil(end)) - 1);
        Contribution& c = result[static_cast<std::size_t>(i)];
        c.first = first;
        for (int s = first; s <= last; ++s) {
            const double covered = std::min<double>(s + 1, end) - std::max<double>(s, start);
            c.weights.push_back(static_cast<float>(std::max(0.0, covered) / scale));
        }
    }
    return result;
}

}  // namespace

Bitmap downscaled(const Bitmap& source, int width, int height) {
    if (source.empty() || width <= 0 || height <= 0) return {};
    auto result = Bitmap::allocate(width, height);
    if (!result) return {};

    const auto columns = contributions(source.width, width);
    const auto rows = contributions(source.height, height);
    std::vector<float> horizontal(static_cast<std::size_t>(width) * 4);
    std::vector<float> accumulated(static_cast<std::size_t>(width) * 4);

    // Each source row is resampled horizontally once per output row that
    // covers it; when shrinking that is at most twice.
    for (int y = 0; y < height; ++y) {
        std::fill(accumulated.begin(), accumulated.end(), 0.0f);
        const Contribution& row = rows[static_cast<std::size_t>(y)];
        for (std::size_t r = 0; r < row.weights.size(); ++r) {
            const std::uint8_t* in = source.row(row.first + static_cast<int>(r));
            for (int x = 0; x < width; ++x) {
                const Contribution& column = columns[static_cast<std::size_t>(x)];
                float sum[4] = {0, 0, 0, 0};
                const std::uint8_t* p = in + static_cast<std::size_t>(column.first) * 4;
                for (float w : column.weights) {
                    sum[0] += w * p[0];
                    sum[1] += w * p[1];
                    sum[2] += w * p[2];
                    sum[3] += w * p[3];
                    p += 4;
                }
                float* h = &horizontal[static_cast<std::size_t>(x) * 4];
                h[0] = sum[0], h[1] = sum[1], h[2] = sum[2], h[3] = sum[3];
            }
            const float w = row.weights[r];
            for (std::size_t i = 0; i < accumulated.size(); ++i) accumulated[i] += w * horizontal[i];
        }
        std::uint8_t* out = result->row(y);
        for (std::size_t i = 0; i < accumulated.size(); ++i)
            out[i] = static_cast<std::uint8_t>(std::clamp(std::lround(accumulated[i]), 0L, 255L));
        // Rounding may leave a colour channel above its alpha; premultiplied
        // pixels must not have that.
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = out + static_cast<std::size_t>(x) * 4;
            p[0] = std::min(p[0], p[3]);
            p[1] = std::min(p[1], p[3]);
            p[2] = std::min(p[2], p[3]);
        }
    }
    return *result;
}

FittedSize fittedSize(int width, int height, int maxPixelSize) {
    if (width <= 0 || height <= 0 || maxPixelSize <= 0) return {};
    const int longer = std::max(width, height);
    if (longer <= maxPixelSize) return {width, height};
    const double scale = static_cast<double>(maxPixelSize) / longer;
    const auto shrink = [&](int side) {
        return side == longer ? maxPixelSize : std::max(1, static_cast<int>(std::lround(side * scale)));
    };
    return {shrink(width), shrink(height)};
}

}  // namespace veltrop::render
