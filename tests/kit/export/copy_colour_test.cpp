// Colour in copies: CMYK and profiled grey go through their profile into
// sRGB; a copy never carries a profile that does not describe its pixels.

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "kit/export/image_writer.h"
#include "kit/export/jpeg_samples.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using namespace veltrop::testing;

struct Rgb {
    int r, g, b;
};

TEST(CopyColour, ConvertsThroughTheEmbeddedProfileAndEmbedsOnlyAMatchingOne) {
    if (!hasTool("djpeg") || !hasTool("exiftool")) GTEST_SKIP() << "djpeg or exiftool is not installed";
    const Bytes inks = swappedInkProfile();
    const Bytes grey = linearGreyProfile();
    const Bytes rgbProfile = iccProfile("RGB ", 3000);
    const std::vector<std::uint8_t> cyan = {255, 0, 0, 0};
    struct Case {
        const char* name;
        SampleJpeg sample;
        std::optional<Bytes> profile;
        Rgb expected;          // of the copy's pixels, within tolerance
        const char* copyProfile;  // what the copy's profile says it is, or "" for none
    };
    const Case cases[] = {
        // The profile prints cyan ink as yellow; a naive conversion would give cyan.
        {"CMYK through its profile", {16, 16, SampleSpace::cmyk, cyan}, inks, {255, 255, 0}, "sRGB"},
        {"YCCK through its profile", {16, 16, SampleSpace::ycck, cyan}, inks, {255, 255, 0}, "sRGB"},
        {"CMYK without a profile", {16, 16, SampleSpace::cmyk, cyan}, std::nullopt, {0, 255, 255}, ""},
        {"YCCK without a profile", {16, 16, SampleSpace::ycck, cyan}, std::nullopt, {0, 255, 255}, ""},
        {"CMYK with an RGB profile", {16, 16, SampleSpace::cmyk, cyan}, rgbProfile, {0, 255, 255}, ""},
        // Linear 0.5 is 188 in sRGB.
        {"grey through its profile", {16, 16, SampleSpace::grey, {128}}, grey, {188, 188, 188}, "sRGB"},
        {"grey without a profile", {16, 16, SampleSpace::grey, {128}}, std::nullopt, {128, 128, 128}, ""},
        {"RGB with a grey profile", {16, 16, SampleSpace::rgb, {200, 100, 50}}, grey, {200, 100, 50}, ""},
        {"RGB with a CMYK profile", {16, 16, SampleSpace::rgb, {200, 100, 50}}, inks, {200, 100, 50}, ""},
        {"RGB with an RGB profile", {16, 16, SampleSpace::rgb, {200, 100, 50}}, rgbProfile, {200, 100, 50}, "RGB "},
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto source = folder / (std::string(c.name) + ".jpg");
        Bytes jpeg = encodeSamples(c.sample);
        if (c.profile) jpeg = withSegments(jpeg, {iccSegment(*c.profile)});
        writeBytes(source, jpeg);
        auto loaded = ImageLoader::load(source);
        ASSERT_TRUE(loaded);
        const auto copy = folder / (std::string(c.name) + " copy.jpg");
        ASSERT_TRUE(ImageWriter::write(loaded->image, copy, loaded->metadata, {1.0, false}));

        auto pixels = decodeWithDjpeg(copy);
        ASSERT_TRUE(pixels);
        const std::size_t centre = static_cast<std::size_t>((8 * pixels->width + 8) * 3);
        EXPECT_NEAR(pixels->pixels[centre], c.expected.r, 12);
        EXPECT_NEAR(pixels->pixels[centre + 1], c.expected.g, 12);
        EXPECT_NEAR(pixels->pixels[centre + 2], c.expected.b, 12);

        auto read = referenceMetadata(copy);
        ASSERT_TRUE(read);
        const std::string copyProfile = c.copyProfile;
        if (copyProfile.empty()) {
            for (const auto& [key, value] : read->items()) EXPECT_FALSE(key.starts_with("ICC")) << key;
        } else if (copyProfile == "sRGB") {
            EXPECT_EQ((*read)["ICC-header:ColorSpaceData"], "RGB ");
            EXPECT_TRUE((*read)["ICC_Profile:ProfileDescription"].get<std::string>().contains("sRGB"));
            EXPECT_FALSE(contains(readBytes(copy), Bytes(c.profile->begin() + 128, c.profile->begin() + 200)));
        } else {
            EXPECT_EQ(loaded->metadata.icc, *c.profile);
            auto reloaded = ImageLoader::load(copy);
            ASSERT_TRUE(reloaded);
            EXPECT_EQ(reloaded->metadata.icc, *c.profile);
        }
    }
}

}  // namespace
}  // namespace veltrop::exporting
