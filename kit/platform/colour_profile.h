#pragma once
// Colour conversion through embedded ICC profiles.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace veltrop::platform {

enum class IccColourSpace { rgb, grey, cmyk, other };

// The data colour space a profile's header declares; nullopt for bytes that
// are not an ICC profile.
std::optional<IccColourSpace> iccColourSpace(std::span<const std::uint8_t> profile);

// An sRGB profile for copies whose pixels were converted into sRGB. Made once.
const std::vector<std::uint8_t>& srgbProfile();

enum class SampleLayout {
    cmyk,  // four ink amounts, 0 for no ink
    grey,
};

// Converts rows of samples described by a profile into opaque sRGB BGRA.
class ProfileConversion {
public:
    // nullopt when the profile is unusable or not of the layout's colour space.
    static std::optional<ProfileConversion> make(std::span<const std::uint8_t> profile, SampleLayout layout);

    void convert(const std::uint8_t* samples, std::uint8_t* bgra, int width) const;

private:
    struct Transform;
    explicit ProfileConversion(std::shared_ptr<Transform> transform) : transform_(std::move(transform)) {}
    std::shared_ptr<Transform> transform_;
};

}  // namespace veltrop::platform
