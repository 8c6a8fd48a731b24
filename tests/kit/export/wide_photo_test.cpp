// Panoramas wider or taller than the drawing library's 32,767-pixel surfaces:
// stamped through the whole pipeline and read back with djpeg, which knows
// nothing of how the stamp was drawn.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "kit/export/batch_processor.h"
#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/platform/system_memory.h"
#include "support/test_support.h"

using namespace veltrop;
namespace fs = std::filesystem;
namespace fixtures = veltrop::testing;

namespace {

using fixtures::RgbImage;

int brightness(const RgbImage& image, int x, int y) { return (image.at(x, y)[0] + image.at(x, y)[1] + image.at(x, y)[2]) / 3; }

// Device pixels (rows from the top); right and bottom one past the last.
struct Box {
    int left, top, right, bottom;
};

// The box of pixels brighter than the threshold within the region, if any.
std::optional<Box> brightBox(const RgbImage& image, const Box& region, int threshold) {
    std::optional<Box> box;
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x) {
            if (brightness(image, x, y) <= threshold) continue;
            if (!box) box = Box{x, y, x + 1, y + 1};
            box->left = std::min(box->left, x), box->right = std::max(box->right, x + 1);
            box->top = std::min(box->top, y), box->bottom = std::max(box->bottom, y + 1);
        }
    return box;
}

// A mid-grey JPEG with a capture date; `orientation` says how to turn it.
void writePhoto(const fs::path& file, int width, int height, int orientation) {
    auto bitmap = *image::Bitmap::allocate(width, height);
    std::fill_n(bitmap.pixels.get(), bitmap.stride * static_cast<std::size_t>(height), std::uint8_t{128});
    fixtures::TiffBlock tiff;
    tiff.ifd0 = {fixtures::shorts(0x0112, {static_cast<std::uint16_t>(orientation)})};
    tiff.exif = {fixtures::ascii(0x9003, "2026:08:14 06:17:49")};
    fixtures::writeBytes(file, fixtures::withSegments(fixtures::encodeJpeg(bitmap, 85),
                                                      {fixtures::exifSegment(tiff.build())}));
}

}  // namespace

TEST(WidePhotos, StampWatermarkAndStripReachPhotosPastTheSurfaceLimit) {
    if (!fixtures::hasTool("djpeg")) FAIL() << "djpeg is not installed (libjpeg-turbo-progs)";
    constexpr int longSide = 33000, shortSide = 600;
    const struct Case {
        const char* name;
        int orientation;  // 6: stored wide, upright tall
        settings::StampMode mode;
        bool watermark;
    } cases[] = {
        {"overlay", 1, settings::StampMode::overlay, false},
        {"watermark", 1, settings::StampMode::overlay, true},
        {"strip", 1, settings::StampMode::dataStrip, false},
        {"tall", 6, settings::StampMode::overlay, false},
    };
    fixtures::TempDir dir;
    exporting::ImageLoader::prepare();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = dir / (std::string(c.name) + ".jpg");
        writePhoto(source, longSide, shortSide, c.orientation);
        settings::StampConfiguration configuration;
        configuration.project.reset();
        configuration.style.mode = c.mode;
        if (c.watermark) {
            configuration.timestampEnabled = false;
            configuration.watermark = settings::defaultWatermark();
            configuration.watermark->source = settings::WatermarkSource::text("SURVEY");
            configuration.watermark->corner = settings::StampCorner::topLeft;
            configuration.watermark->opacity = 1;
        }
        exporting::BatchProcessor processor(1);
        const auto photos = exporting::PhotoDiscovery::makePhotos({source}, {dir.path()});
        const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt, {});
        ASSERT_EQ(summary.results.size(), 1u);
        const auto& outcome = summary.results[0].outcome;
        ASSERT_EQ(outcome.kind, exporting::FileOutcome::Kind::stamped) << outcome.failureText();

        const auto copy = fixtures::decodeWithDjpeg(outcome.destination);
        ASSERT_TRUE(copy);
        const bool tall = c.orientation == 6;
        const int width = tall ? shortSide : longSide, height = tall ? longSide : shortSide;
        ASSERT_EQ(copy->width, width);
        const int band = copy->height - height;
        if (c.mode == settings::StampMode::dataStrip) ASSERT_GT(band, 0);
        else ASSERT_EQ(band, 0);

        // Ink where the stamp belongs, and only there: the rest of the photo
        // stays the grey it was (one JPEG generation apart).
        Box expected{width - 600, height - 100, width, height};                   // bottom right
        if (c.watermark) expected = Box{0, 0, 600, 100};                          // top left
        if (band > 0) expected = Box{width - 600, height, width, height + band};  // the strip's date
        const auto ink = brightBox(*copy, Box{0, 0, width, copy->height}, 200);
        ASSERT_TRUE(ink) << "no stamp in the copy";
        EXPECT_GE(ink->left, expected.left);
        EXPECT_GE(ink->top, expected.top);
        EXPECT_LE(ink->right, expected.right);
        EXPECT_LE(ink->bottom, expected.bottom);
        EXPECT_GT(ink->right - ink->left, 20);
        for (const auto& [x, y] : {std::pair{width / 2, height / 2}, std::pair{1, height - 2}, std::pair{width - 2, 1}})
            EXPECT_NEAR(brightness(*copy, x, y), 128, 3) << x << "," << y;
        if (band > 0) {
            // The dark band runs the whole width, across every surface it was drawn on.
            int brightest = 0;
            for (int x = 0; x < width; ++x) brightest = std::max(brightest, brightness(*copy, x, copy->height - 2));
            EXPECT_LT(brightest, 30);
        }
    }
}

TEST(WidePhotos, ThePixelLimitFollowsThePhysicalMemory) {
    const auto memory = platform::physicalMemory();
    ASSERT_TRUE(memory);
    // sysconf and /proc agree on what the machine has.
    std::FILE* info = std::fopen("/proc/meminfo", "r");
    ASSERT_NE(info, nullptr);
    unsigned long long kilobytes = 0;
    ASSERT_EQ(std::fscanf(info, "MemTotal: %llu kB", &kilobytes), 1);
    std::fclose(info);
    EXPECT_NEAR(static_cast<double>(*memory), kilobytes * 1024.0, 0.02 * kilobytes * 1024.0);
    // Half of it for one photo held twice at 4 bytes a pixel.
    EXPECT_EQ(exporting::ImageLoader::maximumPixelCount(), static_cast<std::int64_t>(*memory / 16));
    EXPECT_GT(exporting::ImageLoader::maximumPixelCount(), 33000 * 600);
}
