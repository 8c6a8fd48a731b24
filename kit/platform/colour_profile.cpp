#include "kit/platform/colour_profile.h"

#include <lcms2.h>

#include <cstring>
#include <type_traits>

namespace veltrop::platform {

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The library reports problems through a callback; they reach the caller
// as a missing conversion instead.
void silence(cmsContext, cmsUInt32Number, const char*) {}

struct ContextDeleter {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
using Context = std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter>;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(static_cast<cmsHPROFILE>(profile)); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Context newContext() {
    Context context(cmsCreateContext(nullptr, nullptr));
    if (context) cmsSetLogErrorHandlerTHR(context.get(), silence);
    return context;
}

}  // namespace

std::optional<IccColourSpace> iccColourSpace(std::span<const std::uint8_t> profile) {
    // The header is 128 bytes: size at 0, the data colour space at 16, "acsp" at 36.
    if (profile.size() < 128 || std::memcmp(profile.data() + 36, "acsp", 4) != 0) return std::nullopt;
    switch (bigEndian32(profile.data() + 16)) {
        case cmsSigRgbData: return IccColourSpace::rgb;
        case cmsSigGrayData: return IccColourSpace::grey;
        case cmsSigCmykData: return IccColourSpace::cmyk;
        default: return IccColourSpace::other;
    }
}

const std::vector<std::uint8_t>& srgbProfile() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> saved;
        const Context context = newContext();
        if (!context) return saved;
        const Profile profile(cmsCreate_sRGBProfileTHR(context.get()));
        cmsUInt32Number size = 0;
        if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return saved;
        saved.resize(size);
        if (!cmsSaveProfileToMem(profile.get(), saved.data(), &size)) saved.clear();
        return saved;
    }();
    return bytes;
}

struct ProfileConversion::Transform {
    Context context;
    cmsHTRANSFORM transform = nullptr;
    Transform() = default;
    ~Transform() {
        if (transform != nullptr) cmsDeleteTransform(transform);
    }
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;
};

std::optional<ProfileConversion> ProfileConversion::make(std::span<const std::uint8_t> bytes, SampleLayout layout) {
    const auto space = iccColourSpace(bytes);
    if (space != (layout == SampleLayout::cmyk ? IccColourSpace::cmyk : IccColourSpace::grey)) return std::nullopt;
    auto result = std::make_shared<Transform>();
    result->context = newContext();
    if (!result->context) return std::nullopt;
    cmsContext context = result->context.get();
    const Profile input(cmsOpenProfileFromMemTHR(context, bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    const Profile output(cmsCreate_sRGBProfileTHR(context));
    if (!input || !output) return std::nullopt;
    // What print workflows show on screen: colorimetric with black point compensation.
    result->transform = cmsCreateTransformTHR(context, input.get(), layout == SampleLayout::cmyk ? TYPE_CMYK_8 : TYPE_GRAY_8,
                                              output.get(), TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                              cmsFLAGS_BLACKPOINTCOMPENSATION);
    if (result->transform == nullptr) return std::nullopt;
    return ProfileConversion(std::move(result));
}

void ProfileConversion::convert(const std::uint8_t* samples, std::uint8_t* bgra, int width) const {
    // Three bytes per pixel in place at the end of the row, then spread out to four.
    std::uint8_t* rgb = bgra + width;
    cmsDoTransform(transform_->transform, samples, rgb, static_cast<cmsUInt32Number>(width));
    for (int x = 0; x < width; ++x, bgra += 4, rgb += 3) {
        const std::uint8_t r = rgb[0], g = rgb[1], b = rgb[2];
        bgra[0] = b, bgra[1] = g, bgra[2] = r, bgra[3] = 255;
    }
}

}  // namespace veltrop::platform
