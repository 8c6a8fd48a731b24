// Real photos against the reference readings in the corpus's oracle.json.

#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "kit/dates/exif_fields.h"
#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using dates::PropertyValue;
using namespace veltrop::testing;
namespace keys = dates::keys;

nlohmann::json oracle(const std::filesystem::path& corpus) {
    std::ifstream in(corpus / "oracle.json");
    return nlohmann::json::parse(in)["files"];
}

bool isHeif(const nlohmann::json& entry) { return entry.contains("heif"); }

PixelSize sizeOf(const nlohmann::json& pair) { return {pair[0].get<double>(), pair[1].get<double>()}; }

// The size as stored for JPEG; for HEIF the size after the container's
// rotation, which decoding applies.
PixelSize expectedPixelSize(const nlohmann::json& entry) {
    if (isHeif(entry)) return sizeOf(entry["heif_display_size_after_irot"]);
    return {entry["ImageWidth"].get<double>(), entry["ImageHeight"].get<double>()};
}

image::Orientation expectedOrientation(const nlohmann::json& entry) {
    if (isHeif(entry) || !entry["Orientation"].is_number()) return 1;
    return entry["Orientation"].get<int>();
}

// Raw date fields as stored, camera fields as read into ExifFields. How HEIF
// photos decode is HeifDecoding's, against libheif.
TEST(ImageCorpus, MetadataReadsMatchTheReference) {
    VELTROP_REQUIRE_CORPUS(corpus);
    for (const auto& entry : oracle(corpus)) {
        const std::string name = entry["file"];
        SCOPED_TRACE(name);
        auto info = ImageLoader::readInfo(corpus / name);
        ASSERT_TRUE(info) << info.error().description();
        EXPECT_EQ(info->pixelSize, expectedPixelSize(entry));
        EXPECT_EQ(info->orientation, expectedOrientation(entry));
        const PixelSize display = isHeif(entry) ? sizeOf(entry["heif_display_size_after_irot"])
                                                : sizeOf(entry["display_size_after_orientation"]);
        EXPECT_EQ(info->displaySize(), display);

        const auto& exif = dates::group(info->properties, keys::exif);
        const auto& tiff = dates::group(info->properties, keys::tiff);
        const auto& raw = entry["dates_raw"];
        const std::pair<const dates::PropertyDictionary*, std::pair<const char*, std::string_view>> dateFields[] = {
            {&exif, {"DateTimeOriginal", keys::dateTimeOriginal}},
            {&exif, {"CreateDate", keys::dateTimeDigitized}},
            {&tiff, {"ModifyDate", keys::dateTime}}};
        for (const auto& [group, names] : dateFields) {
            const auto* stored = dates::find(*group, names.second);
            const PropertyValue expected = raw[names.first].is_string() ? PropertyValue(raw[names.first].get<std::string>())
                                                                        : PropertyValue();
            EXPECT_EQ(stored ? *stored : PropertyValue(), expected) << names.first;
        }

        // Text is kept as stored; the reference tool trims trailing blanks.
        const auto fields = dates::ExifFields::fromProperties(info->properties);
        const auto text = [](const std::optional<std::string>& value) {
            return value ? value->substr(0, value->find_last_not_of(' ') + 1) : std::string("(absent)");
        };
        for (const auto& [value, key] : {std::pair{&fields.make, "Make"}, {&fields.model, "Model"}, {&fields.lens, "LensModel"}}) {
            if (!entry[key].is_string()) continue;
            EXPECT_EQ(text(*value), entry[key].get<std::string>()) << key;
        }
        // Rationals are read whole, never truncated to integers.
        for (const auto& [value, key] : {std::pair{&fields.focalLength, "FocalLength"}, {&fields.aperture, "FNumber"},
                                         {&fields.shutterSeconds, "ExposureTime"}}) {
            if (!entry[key].is_number()) continue;
            EXPECT_NEAR(value->value_or(-1), entry[key].get<double>(), 1e-6) << key;
        }
        if (entry["ISO"].is_number()) {
            EXPECT_EQ(fields.iso, entry["ISO"].get<std::int64_t>());
        }
        EXPECT_EQ(dates::group(info->properties, keys::gps).empty(), !entry["gps_ifd_present"].get<bool>());
    }
    // A lens named only in the maker notes reaches the auxiliary group.
    auto canon = ImageLoader::readInfo(corpus / "Canon EOS 1000D.jpg");
    ASSERT_TRUE(canon);
    EXPECT_EQ(*dates::find(dates::group(canon->properties, keys::exifAux), keys::lensModel),
              PropertyValue("EF-S18-55mm f/3.5-5.6 IS"));
}

TEST(ImageCorpus, HeifCopyIsUprightAndKeepsItsProfile) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir folder;
    // Stored HEIF pixels are already turned by the container: no EXIF turn on top.
    auto source = ImageLoader::loadThumbnail(corpus / "arrow.heic", 800, ThumbnailOrientation::asStored);
    ASSERT_TRUE(source);
    ASSERT_FALSE(source->metadata.icc.empty());
    const auto destination = folder / "arrow.jpg";
    ASSERT_TRUE(ImageWriter::write(source->image, destination, source->metadata, {0.9, false}));

    auto copy = ImageLoader::load(destination);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->pixelSize(), (PixelSize{600, 800}));
    EXPECT_EQ(copy->orientation, 1);  // the EXIF block said 6
    // Every other tag of a HEIF copy is MetadataFidelity's.
    if (auto reference = referenceMetadata(destination)) {
        EXPECT_EQ((*reference)["ICC_Profile:ProfileDescription"], "Display P3");
    }
}

}  // namespace
}  // namespace veltrop::exporting
