#include <gtest/gtest.h>

#include "kit/dates/exif_fields.h"

using namespace veltrop::dates;

namespace {
ExifFields camera(std::optional<std::string> make, std::optional<std::string> model) {
    ExifFields fields;
    fields.make = std::move(make);
    fields.model = std::move(model);
    return fields;
}
}  // namespace

TEST(ExifFields, ReadsTypedValuesAndIgnoresWrongTypes) {
    PropertyDictionary exif{{"FocalLength", 50.0},     {"FNumber", 1.8},
                            {"ExposureTime", 0.004},   {"ISOSpeedRatings", PropertyList{100, 200}},
                            {"LensModel", 35.0}};  // a number where text belongs
    PropertyDictionary aux{{"LensModel", "XF35mmF1.4 R"}};
    PropertyDictionary tiff{{"Make", "FUJIFILM"}, {"Model", PropertyList{"X-T4"}}};
    auto fields = ExifFields::fromProperties({{"Exif", exif}, {"ExifAux", aux}, {"TIFF", tiff}});
    EXPECT_EQ(fields.make, "FUJIFILM");
    EXPECT_FALSE(fields.model);
    EXPECT_EQ(fields.lens, "XF35mmF1.4 R");
    EXPECT_EQ(fields.iso, 100);
    EXPECT_EQ(fields.shutterSeconds, 0.004);

    EXPECT_FALSE(ExifFields::fromProperties({{"Exif", PropertyDictionary{{"ISOSpeedRatings", PropertyList{}}}}}).iso);
    EXPECT_EQ(ExifFields::fromProperties({{"Exif", PropertyDictionary{{"ISOSpeedRatings", 400}}}}).iso, 400);
    EXPECT_EQ(ExifFields::fromProperties({}), ExifFields{});
}

TEST(ExifFields, CameraTextAvoidsRepeatingTheBrand) {
    EXPECT_EQ(cameraText(camera("Canon", "Canon EOS R5")), "Canon EOS R5");
    EXPECT_EQ(cameraText(camera("Canon", "EOS R5")), "Canon EOS R5");
    EXPECT_EQ(cameraText(camera("NIKON CORPORATION", "NIKON Z 6")), "NIKON Z 6");
    EXPECT_EQ(cameraText(camera("CANON", "canon eos r5")), "canon eos r5");
    EXPECT_EQ(cameraText(camera("Sony", "Sonyx 1")), "Sonyx 1");
    EXPECT_EQ(cameraText(camera("  FUJIFILM ", "X-T4\n")), "FUJIFILM X-T4");
    EXPECT_EQ(cameraText(camera("Apple", std::nullopt)), "Apple");
    EXPECT_EQ(cameraText(camera("Apple", "   ")), "Apple");
    EXPECT_EQ(cameraText(camera(std::nullopt, "iPhone 5")), "iPhone 5");
    EXPECT_EQ(cameraText(camera(" ", " ")), std::nullopt);
}

TEST(ExifFields, ExposureTextAndNumberFormats) {
    const auto fields = [](std::optional<double> focal, std::optional<double> aperture, std::optional<double> shutter,
                           std::optional<std::int64_t> iso) {
        ExifFields made;
        made.focalLength = focal, made.aperture = aperture, made.shutterSeconds = shutter, made.iso = iso;
        return made;
    };
    EXPECT_EQ(exposureText(fields(50.0, 2.8, 0.004, 200)), "50mm  \u0192/2.8  1/250s  ISO 200");
    EXPECT_EQ(exposureText(fields({}, {}, {}, 100)), "ISO 100");
    EXPECT_EQ(exposureText(ExifFields{}), std::nullopt);
    EXPECT_EQ(exposureText(fields({}, 8, 0, 100)), "\u0192/8    ISO 100");  // the empty item keeps its separators

    EXPECT_EQ(numberText(4.0), "4");
    EXPECT_EQ(numberText(4.2), "4.2");
    EXPECT_EQ(numberText(1.0 / 3.0), "0.333333");
    EXPECT_EQ(numberText(-2.0), "-2");
    EXPECT_FALSE(numberText(1e300).empty());

    EXPECT_EQ(shutterText(1.0 / 8000), "1/8000s");
    EXPECT_EQ(shutterText(0.3), "1/3s");
    EXPECT_EQ(shutterText(0.7), "1/1s");
    EXPECT_EQ(shutterText(1.0), "1s");
    EXPECT_EQ(shutterText(1.5), "1.5s");
    EXPECT_EQ(shutterText(-1), "");
    EXPECT_FALSE(shutterText(1e-300).empty());
}
