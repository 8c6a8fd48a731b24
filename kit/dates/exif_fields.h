#pragma once
// Camera details of one photo, read once from its metadata, and the two
// display texts built from them.

#include <cstdint>
#include <optional>
#include <string>

#include "kit/dates/properties.h"
#include "kit/dates/text.h"

namespace veltrop::dates {

struct ExifFields {
    std::optional<std::string> make;
    std::optional<std::string> model;
    std::optional<std::string> lens;
    std::optional<double> focalLength;
    std::optional<double> aperture;
    std::optional<double> shutterSeconds;
    std::optional<std::int64_t> iso;

    bool operator==(const ExifFields&) const = default;

    static ExifFields fromProperties(const PropertyDictionary& properties);
};

// "Canon EOS R5", "FUJIFILM X-T4": make and model without a repeated brand.
std::optional<std::string> cameraText(const ExifFields& fields);
// "50mm  ƒ/2.8  1/250s  ISO 200".
std::optional<std::string> exposureText(const ExifFields& fields);
// 4 → "4", 2.8 → "2.8" (C %g otherwise).
std::string numberText(double value);
// 0.004 → "1/250s", 2 → "2s", ≤ 0 → "".
std::string shutterText(double seconds);

}  // namespace veltrop::dates
