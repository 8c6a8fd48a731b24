#include "kit/image/blur.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltrop::image {

std::array<int, 3> boxBlurWidths(double sigma) {
    if (!(sigma > 0)) return {1, 1, 1};
    constexpr int passes = 3;
    // Box widths whose summed variance matches sigma², mixing two neighbouring odd sizes.
    const double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    lower = std::max(lower, 1);
    const int upper = lower + 2;
    const double lowerCount = (12 * sigma * sigma - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) /
                              (-4.0 * lower - 4);
    const int m = static_cast<int>(std::lround(std::clamp(lowerCount, 0.0, double(passes))));
    std::array<int, 3> widths{};
    for (int i = 0; i < passes; ++i) widths[static_cast<std::size_t>(i)] = i < m ? lower : upper;
    return widths;
}

namespace {

// One horizontal box pass over a row.
void boxRow(std::uint8_t* row, int count, int radius, std::vector<std::uint8_t>& copy) {
    copy.assign(row, row + count);
    const int width = 2 * radius + 1;
    std::uint32_t sum = 0;
    for (int i = 0; i <= std::min(radius, count - 1); ++i) sum += copy[static_cast<std::size_t>(i)];
    for (int i = 0; i < count; ++i) {
        row[i] = static_cast<std::uint8_t>((sum + width / 2) / width);
        const int entering = i + radius + 1;
        const int leaving = i - radius;
        if (entering < count) sum += copy[static_cast<std::size_t>(entering)];
        if (leaving >= 0) sum -= copy[static_cast<std::size_t>(leaving)];
    }
}

// One vertical box pass, row by row with a running sum per column, so that
// memory is read in order.
void boxColumns(std::uint8_t* plane, int width, int height, std::size_t stride, int radius,
                std::vector<std::uint8_t>& copy, std::vector<std::uint32_t>& sums) {
    const std::size_t rowBytes = static_cast<std::size_t>(width);
    copy.resize(rowBytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        std::copy_n(plane + stride * static_cast<std::size_t>(y), rowBytes, copy.data() + rowBytes * static_cast<std::size_t>(y));
    auto sourceRow = [&](int y) { return copy.data() + rowBytes * static_cast<std::size_t>(y); };
    sums.assign(rowBytes, 0);
    for (int y = 0; y <= std::min(radius, height - 1); ++y) {
        const std::uint8_t* row = sourceRow(y);
        for (std::size_t x = 0; x < rowBytes; ++x) sums[x] += row[x];
    }
    const float scale = 1.0f / static_cast<float>(2 * radius + 1);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* target = plane + stride * static_cast<std::size_t>(y);
        for (std::size_t x = 0; x < rowBytes; ++x)
            target[x] = static_cast<std::uint8_t>(static_cast<float>(sums[x]) * scale + 0.5f);
        if (const int entering = y + radius + 1; entering < height) {
            const std::uint8_t* row = sourceRow(entering);
            for (std::size_t x = 0; x < rowBytes; ++x) sums[x] += row[x];
        }
        if (const int leaving = y - radius; leaving >= 0) {
            const std::uint8_t* row = sourceRow(leaving);
            for (std::size_t x = 0; x < rowBytes; ++x) sums[x] -= row[x];
        }
    }
}

}  // namespace

void blurCoverage(std::uint8_t* plane, int width, int height, std::size_t stride, double sigma) {
    if (plane == nullptr || width <= 0 || height <= 0) return;
    const auto widths = boxBlurWidths(sigma);
    std::vector<std::uint8_t> copy;
    std::vector<std::uint32_t> sums;
    for (int boxWidth : widths) {
        const int radius = (boxWidth - 1) / 2;
        if (radius == 0) continue;
        for (int y = 0; y < height; ++y) boxRow(plane + stride * static_cast<std::size_t>(y), width, radius, copy);
        boxColumns(plane, width, height, stride, radius, copy, sums);
    }
}

}  // namespace veltrop::image
