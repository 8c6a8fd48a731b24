// Turning a photo while it is decoded, and encoding its copy while it is
// decoded, must not change a byte: both are checked against the plain path
// (decode as stored, turn, draw, encode, one after the other).
#include <gtest/gtest.h>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/lossless_stamp.h"
#include "kit/export/overlapped_copy.h"
#include "kit/export/photo_discovery.h"
#include "kit/image/orientation.h"
#include "kit/render/renderer.h"
#include "support/test_support.h"
#include "tests/kit/export/image_fixtures.h"
#include "tests/kit/export/jpeg_samples.h"
#include "tests/kit/render/render_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrop;
namespace fx = veltrop::testing;
using fx::Bytes;

Bytes withOrientation(const Bytes& jpeg, int orientation) {
    fx::TiffBlock tiff;
    tiff.ifd0.push_back(fx::shorts(0x0112, {static_cast<std::uint16_t>(orientation)}));
    return fx::withSegments(jpeg, {fx::exifSegment(tiff.build())});
}

// Copies of a photo carrying each EXIF orientation 1–8, written by exiftool.
std::vector<fs::path> turnedVariants(const fs::path& photo, const fs::path& folder) {
    std::vector<fs::path> variants;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const fs::path file = folder / ("turned-" + std::to_string(orientation) + ".jpg");
        fs::copy_file(photo, file);
        const std::string command = "exiftool -q -q -overwrite_original -Orientation#=" + std::to_string(orientation) +
                                    " " + fx::shellQuoted(file);
        if (std::system(command.c_str()) != 0) return {};
        variants.push_back(file);
    }
    return variants;
}

const auto planFor = fx::stampPlan;

// The copy as the plain path writes it: stored pixels, turned by the renderer.
bool writeReference(const exporting::StampPlan& plan, const exporting::StampJob& job) {
    auto loaded = exporting::ImageLoader::load(plan.photo.url);
    if (!loaded) return false;
    auto request = exporting::renderRequest(plan, job);
    request.orientation = loaded->orientation;
    request.image = loaded->image;
    auto rendered = render::Renderer::render(request);
    if (!rendered) return false;
    const exporting::WriteOptions options{job.configuration.jpegQuality, job.configuration.removeGPS};
    return exporting::ImageWriter::write(*rendered, *plan.destination, loaded->metadata, options).has_value();
}

TEST(TurnedDecoding, GivesTheReferenceTurnForEveryOrientation) {
    const fx::TempDir dir;
    struct Case {
        const char* name;
        Bytes jpeg;
    };
    const Case cases[] = {
        // Odd sizes, so that bands and chroma blocks end inside the picture.
        {"rgb", fx::encodeJpeg(fx::patternBitmap(203, 117))},
        {"tall rgb", fx::encodeJpeg(fx::patternBitmap(45, 301))},
        // Converted one row at a time on its way into the picture.
        {"cmyk", fx::encodeSamples({71, 90, fx::SampleSpace::cmyk, {}, true, 0, 90})},
    };
    exporting::ImageLoader::prepare();
    for (const Case& c : cases) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(::testing::Message() << c.name << " orientation " << orientation);
            const fs::path file = dir / (std::string(c.name) + std::to_string(orientation) + ".jpg");
            fx::writeBytes(file, withOrientation(c.jpeg, orientation));
            const auto stored = exporting::ImageLoader::load(file);
            const auto upright = exporting::ImageLoader::loadUpright(file, {});
            ASSERT_TRUE(stored && upright);
            EXPECT_EQ(stored->orientation, orientation);
            EXPECT_EQ(upright->orientation, 1);
            EXPECT_EQ(upright->properties, stored->properties);
            EXPECT_TRUE(render::probe::samePixels(upright->image, image::oriented(stored->image, orientation)));
        }
    }
}

// Every copy of a corpus photo turned each way, made three ways: the plain
// path, the normal path (turned while decoding) and the normal path with the
// encoder following the decoder. All must be the same file, byte for byte.
TEST(TurnedDecoding, CopiesAreByteIdenticalToThePlainPath) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!fx::hasTool("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    const fx::TempDir dir;
    const auto variants = turnedVariants(corpus / "Canon PowerShot A720 IS.jpg", dir.path());
    ASSERT_EQ(variants.size(), 8u);
    exporting::ImageLoader::prepare();

    struct Mode {
        const char* name;
        settings::StampMode mode;
        bool watermark;
        std::vector<int> orientations;
    };
    const Mode modes[] = {{"overlay", settings::StampMode::overlay, false, {1, 2, 3, 4, 5, 6, 7, 8}},
                          {"overlay with watermark", settings::StampMode::overlay, true, {1, 6}},
                          {"data strip", settings::StampMode::dataStrip, false, {1, 6}}};
    int index = 0;
    for (const Mode& m : modes) {
        settings::StampConfiguration configuration;
        configuration.style.mode = m.mode;
        if (m.watermark) {
            configuration.watermark = settings::defaultWatermark();
            configuration.watermark->source = settings::WatermarkSource::text("SURVEY");
        }
        const std::optional<image::Bitmap> noLogo;
        for (const int orientation : m.orientations) {
            SCOPED_TRACE(::testing::Message() << m.name << " orientation " << orientation);
            const fs::path& variant = variants[static_cast<std::size_t>(orientation - 1)];
            const std::string stem = std::to_string(index++);
            const auto reference = planFor(variant, dir / (stem + "-reference.jpg"), configuration);
            const auto plain = planFor(variant, dir / (stem + "-plain.jpg"), configuration);
            const auto overlapped = planFor(variant, dir / (stem + "-overlapped.jpg"), configuration);
            exporting::StampJob job{configuration, noLogo};
            ASSERT_TRUE(writeReference(reference, job));
            job.overlap = exporting::Overlap::never;
            ASSERT_EQ(exporting::stampPhoto(plain, job).kind, exporting::FileOutcome::Kind::stamped);
            job.overlap = exporting::Overlap::always;
            ASSERT_EQ(exporting::stampPhoto(overlapped, job).kind, exporting::FileOutcome::Kind::stamped);

            const Bytes expected = fx::readBytes(*reference.destination);
            EXPECT_TRUE(fx::readBytes(*plain.destination) == expected);
            EXPECT_TRUE(fx::readBytes(*overlapped.destination) == expected);
        }
    }
}

// A photo whose data ends early fails while the encoder already follows
// it: the failure is the decoder's, and nothing is left at the destination.
TEST(TurnedDecoding, ATruncatedPhotoLeavesNoCopyWhenEncodedAlongside) {
    const fx::TempDir dir;
    Bytes jpeg = fx::encodeSamples({512, 512, fx::SampleSpace::rgb, {}, false, 0, 95});
    jpeg.resize(jpeg.size() * 2 / 3);
    const fs::path source = dir / "short.jpg";
    fx::writeBytes(source, jpeg);
    const settings::StampConfiguration configuration;
    const std::optional<image::Bitmap> noLogo;
    exporting::StampJob job{configuration, noLogo};
    job.overlap = exporting::Overlap::always;
    const auto plan = planFor(source, dir / "out" / "copy.jpg", configuration);
    const auto outcome = exporting::stampPhoto(plan, job);
    ASSERT_EQ(outcome.kind, exporting::FileOutcome::Kind::failed);
    EXPECT_TRUE(std::holds_alternative<exporting::ImageLoadError>(*outcome.failure)) << outcome.failureText();
    EXPECT_FALSE(fs::exists(*plan.destination));
    EXPECT_TRUE(!fs::exists(dir / "out") || fs::is_empty(dir / "out"));
}

}  // namespace
