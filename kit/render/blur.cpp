#include "kit/render/blur.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace veltrop::render {

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

// One box pass along a line of `count` samples `step` apart.
void boxLine(std::uint8_t* line, int count, std::size_t step, int radius, std::vector<std::uint8_t>& scratch) {
    scratch.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) scratch[static_cast<std::size_t>(i)] = line[static_cast<std::size_t>(i) * step];
    const int width = 2 * radius + 1;
    std::uint32_t sum = 0;
    for (int i = 0; i <= std::min(radius, count - 1); ++i) sum += scratch[static_cast<std::size_t>(i)];
    for (int i = 0; i < count; ++i) {
        line[static_cast<std::size_t>(i) * step] = static_cast<std::uint8_t>((sum + width / 2) / width);
        const int entering = i + radius + 1;
        const int leaving = i - radius;
        if (entering < count) sum += scratch[static_cast<std::size_t>(entering)];
        if (leaving >= 0) sum -= scratch[static_cast<std::size_t>(leaving)];
    }
}

}  // namespace

void blurCoverage(std::uint8_t* plane, int width, int height, std::size_t stride, double sigma) {
    if (plane == nullptr || width <= 0 || height <= 0) return;
    const auto widths = boxBlurWidths(sigma);
    std::vector<std::uint8_t> scratch;
    for (int boxWidth : widths) {
        const int radius = (boxWidth - 1) / 2;
        if (radius == 0) continue;
        for (int y = 0; y < height; ++y) boxLine(plane + stride * static_cast<std::size_t>(y), width, 1, radius, scratch);
        for (int x = 0; x < width; ++x) boxLine(plane + x, height, stride, radius, scratch);
    }
}

}  // namespace veltrop::render
