#pragma once
// A Gaussian-like blur of an 8-bit coverage plane: three box blurs in each
// direction, sized so that together they approximate the given deviation.

#include <array>
#include <cstddef>
#include <cstdint>

namespace veltrop::image {

// The widths (odd, in pixels) of the three boxes for a deviation sigma.
std::array<int, 3> boxBlurWidths(double sigma);

// Blurs in place; pixels outside the plane count as empty.
void blurCoverage(std::uint8_t* plane, int width, int height, std::size_t stride, double sigma);

}  // namespace veltrop::image
