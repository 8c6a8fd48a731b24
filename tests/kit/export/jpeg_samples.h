#pragma once
// JPEG files and colour profiles made with the codec and colour libraries
// directly, for the cases the writer under test never produces itself.

#include <cstdint>
#include <vector>

namespace veltrop::testing {

enum class SampleSpace { grey, rgb, cmyk, ycck };

struct SampleJpeg {
    int width = 16;
    int height = 16;
    SampleSpace space = SampleSpace::rgb;
    // One pixel's samples repeated everywhere, or empty for a pattern.
    std::vector<std::uint8_t> pixel;
    bool progressive = false;
    int restartRows = 0;
    int quality = 95;
};

// CMYK samples are given as ink amounts and stored inverted, as Adobe's
// files are (the Adobe segment says so).
std::vector<std::uint8_t> encodeSamples(const SampleJpeg& sample);

// A printer profile whose inks print "wrong": cyan comes out yellow, so that
// a conversion through it is told apart from a naive one.
std::vector<std::uint8_t> swappedInkProfile();
// A grey profile with a linear tone curve: stored 128 is sRGB 188.
std::vector<std::uint8_t> linearGreyProfile();

}  // namespace veltrop::testing
