#include "kit/render/downscale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrop::render {

using image::Bitmap;

namespace {

// Which source pixels each output pixel covers and how much of each; the
// weights of all outputs lie in one array, `first` and `count` index into it.
struct Contributions {
    std::vector<int> firstSource;
    std::vector<int> offset;  // into weights
    std::vector<int> count;
    std::vector<float> weights;
};

Contributions contributions(int sourceSize, int targetSize) {
    const double scale = static_cast<double>(sourceSize) / targetSize;
    Contributions result;
    result.firstSource.resize(static_cast<std::size_t>(targetSize));
    result.offset.resize(static_cast<std::size_t>(targetSize));
    result.count.resize(static_cast<std::size_t>(targetSize));
    for (int i = 0; i < targetSize; ++i) {
        const double start = i * scale;
        const double end = std::min<double>((i + 1) * scale, sourceSize);
        const int first = static_cast<int>(std::floor(start));
        const int last = std::min(sourceSize - 1, static_cast<int>(std::ceil(end)) - 1);
        const auto index = static_cast<std::size_t>(i);
        result.firstSource[index] = first;
        result.offset[index] = static_cast<int>(result.weights.size());
        for (int s = first; s <= last; ++s) {
            const double covered = std::min<double>(s + 1, end) - std::max<double>(s, start);
            result.weights.push_back(static_cast<float>(std::max(0.0, covered) / scale));
        }
        result.count[index] = last - first + 1;
    }
    return result;
}

// One source row shrunk to the output width, as floats per channel.
void resampleRow(const std::uint8_t* in, const Contributions& columns, std::vector<float>& out) {
    const std::size_t width = columns.firstSource.size();
    const float* weights = columns.weights.data();
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t* p = in + static_cast<std::size_t>(columns.firstSource[x]) * 4;
        const float* w = weights + columns.offset[x];
#if defined(__SSE2__)
        // The same sums in the same order, a pixel's four channels at once.
        const __m128i zero = _mm_setzero_si128();
        __m128 sum = _mm_setzero_ps();
        for (int k = 0; k < columns.count[x]; ++k, p += 4) {
            std::uint32_t pixel;
            std::memcpy(&pixel, p, sizeof pixel);
            const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(pixel));
            const __m128i channels = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_cvtepi32_ps(channels)));
        }
        _mm_storeu_ps(&out[x * 4], sum);
#else
        float b = 0, g = 0, r = 0, a = 0;
        for (int k = 0; k < columns.count[x]; ++k, p += 4) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
            a += w[k] * p[3];
        }
        float* h = &out[x * 4];
        h[0] = b, h[1] = g, h[2] = r, h[3] = a;
#endif
    }
}

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

// Blocks of at most this many pixels a side: the column sums of a block's
// rows fit 16 bits.
constexpr int largestBlock = 16;

using ByteVector = std::uint8_t __attribute__((vector_size(16)));
using WordVector = std::uint16_t __attribute__((vector_size(32)));

// sums[i] += bytes[i], sixteen at a time.
void addRow(const std::uint8_t* bytes, std::uint16_t* sums, std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        ByteVector in;
        WordVector total;
        std::memcpy(&in, bytes + i, sizeof in);
        std::memcpy(&total, sums + i, sizeof total);
        total += __builtin_convertvector(in, WordVector);
        std::memcpy(sums + i, &total, sizeof total);
    }
    for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + bytes[i]);
}

// Each block of factor × factor pixels averaged into one; blocks cut by the
// right or bottom edge average the pixels they have.
Bitmap blockAveraged(const Bitmap& source, int factor) {
    const int width = (source.width + factor - 1) / factor;
    const int height = (source.height + factor - 1) / factor;
    auto result = Bitmap::allocate(width, height);
    if (!result) return {};
    const std::size_t values = static_cast<std::size_t>(source.width) * 4;
    std::vector<std::uint16_t> sums(values);  // each sample's column over the block's rows
    for (int y = 0; y < height; ++y) {
        const int first = y * factor, last = std::min(source.height, first + factor);
        std::fill(sums.begin(), sums.end(), std::uint16_t{0});
        for (int row = first; row < last; ++row) addRow(source.row(row), sums.data(), values);
        std::uint8_t* out = result->row(y);
        int x = 0;
#if defined(__SSE2__)
        // Whole blocks, a pixel's four sums at once in one register.
        const __m128 wholeScale = _mm_set1_ps(1.0f / static_cast<float>(factor * (last - first)));
        const __m128i zero = _mm_setzero_si128();
        for (; (x + 1) * factor <= source.width; ++x) {
            const std::uint16_t* sample = sums.data() + static_cast<std::size_t>(x * factor) * 4;
            __m128i total = zero;
            for (int k = 0; k < factor; ++k, sample += 4)
                total = _mm_add_epi32(
                    total, _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sample)), zero));
            const __m128 average = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(total), wholeScale), _mm_set1_ps(0.5f));
            __m128i bytes = _mm_cvttps_epi32(average);
            bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
            const auto pixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
            std::memcpy(out + static_cast<std::size_t>(x) * 4, &pixel, sizeof pixel);
        }
#endif
        for (; x < width; ++x) {
            const int left = x * factor, right = std::min(source.width, left + factor);
            std::uint32_t total[4] = {0, 0, 0, 0};
            for (int column = left; column < right; ++column) {
                const std::uint16_t* sample = sums.data() + static_cast<std::size_t>(column) * 4;
                total[0] += sample[0], total[1] += sample[1], total[2] += sample[2], total[3] += sample[3];
            }
            // A multiplication rather than four divisions. Averages of
            // premultiplied pixels stay premultiplied: a colour's sum never
            // exceeds alpha's, and rounding keeps that order.
            const float scale = 1.0f / static_cast<float>((right - left) * (last - first));
            for (int c = 0; c < 4; ++c)
                out[x * 4 + c] = static_cast<std::uint8_t>(static_cast<float>(total[c]) * scale + 0.5f);
        }
    }
    return *result;
}

}  // namespace

Bitmap quicklyDownscaled(const Bitmap& source, int width, int height) {
    if (source.empty() || width <= 0 || height <= 0) return {};
    const int factor = std::min({source.width / (2 * width), source.height / (2 * height), largestBlock});
    if (factor < 2) return downscaled(source, width, height);
    const Bitmap blocks = blockAveraged(source, factor);
    if (blocks.empty()) return {};
    return downscaled(blocks, width, height);
}

Bitmap downscaled(const Bitmap& source, int width, int height) {
    if (source.empty() || width <= 0 || height <= 0) return {};
    auto result = Bitmap::allocate(width, height);
    if (!result) return {};

    const auto columns = contributions(source.width, width);
    const auto rows = contributions(source.height, height);
    const std::size_t values = static_cast<std::size_t>(width) * 4;
    std::vector<float> scratch(values), accumulated(values);
    // When shrinking, neighbouring output rows share at most their boundary
    // source row; keeping the last one resampled means every source row is
    // resampled horizontally once.
    std::vector<float> last(values);
    int lastRow = -1;

    for (int y = 0; y < height; ++y) {
        const auto index = static_cast<std::size_t>(y);
        std::fill(accumulated.begin(), accumulated.end(), 0.0f);
        for (int k = 0; k < rows.count[index]; ++k) {
            const int sourceRow = rows.firstSource[index] + k;
            if (sourceRow != lastRow) {
                resampleRow(source.row(sourceRow), columns, scratch);
                std::swap(scratch, last);
                lastRow = sourceRow;
            }
            const float w = rows.weights[static_cast<std::size_t>(rows.offset[index] + k)];
            for (std::size_t i = 0; i < values; ++i) accumulated[i] += w * last[i];
        }
        std::uint8_t* out = result->row(y);
        for (std::size_t i = 0; i < values; i += 4) {
            // Rounding must not leave a colour above its alpha in premultiplied pixels.
            const std::uint8_t alpha = toByte(accumulated[i + 3]);
            out[i] = std::min(toByte(accumulated[i]), alpha);
            out[i + 1] = std::min(toByte(accumulated[i + 1]), alpha);
            out[i + 2] = std::min(toByte(accumulated[i + 2]), alpha);
            out[i + 3] = alpha;
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
