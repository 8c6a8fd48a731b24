// Copies that keep the original's blocks, checked against djpeg's decoding
// of the original (turned by jpegtran where the photo is turned) and
// against the ink of the normal path's render.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/lossless_stamp.h"
#include "kit/export/photo_discovery.h"
#include "kit/image/orientation.h"
#include "kit/export/image_fixtures.h"
#include "support/test_support.h"

using namespace veltrop;
namespace fx = veltrop::testing;
namespace fs = std::filesystem;

namespace {

// What jpegtran does for each EXIF orientation, 1 to 8.
const char* const jpegtranTurns[] = {"",          "",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                     "-transpose", "-rotate 90", "-transverse",      "-rotate 270"};

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
    void add(int x, int y) {
        left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
    }
};

int difference(const std::uint8_t* a, const std::uint8_t* b) {
    return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

bool inside(const std::vector<image::PixelRect>& areas, int x, int y) {
    return std::any_of(areas.begin(), areas.end(), [&](const image::PixelRect& r) {
        return x >= r.left && x < r.right() && y >= r.top && y < r.bottom();
    });
}

using fx::RgbImage;

RgbImage rgbOf(const image::Bitmap& bitmap) {
    RgbImage out{bitmap.width, bitmap.height, {}};
    out.pixels.reserve(3 * static_cast<std::size_t>(bitmap.width) * bitmap.height);
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            const std::uint8_t* p = bitmap.row(y) + 4 * static_cast<std::size_t>(x);
            out.pixels.insert(out.pixels.end(), {p[2], p[1], p[0]});
        }
    return out;
}

}  // namespace

TEST(LosslessStamp, KeepsEveryBlockOutsideTheStampOnCorpusPhotos) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!fx::hasTool("djpeg") || !fx::hasTool("jpegtran"))
        FAIL() << "djpeg and jpegtran are needed (libjpeg-turbo-progs)";
    const struct Case {
        const char* photo;
        settings::StampMode mode;
        settings::StampBacking backing;
        bool watermark;
    } cases[] = {
        {"Nikon D90.jpg", settings::StampMode::overlay, settings::StampBacking::shadow, false},  // 4:2:2, upright
        {"Issue 266.jpg", settings::StampMode::overlay, settings::StampBacking::box, true},      // 4:4:4, 22 MP
        {"Apple iPhone 5.jpg", settings::StampMode::overlay, settings::StampBacking::none, true},  // turned 180°
        {"Leica T (Typ 701).jpg", settings::StampMode::overlay, settings::StampBacking::shadow, false},  // 270°
        {"Canon EOS 20D (2).jpg", settings::StampMode::overlay, settings::StampBacking::box, false},  // 90°, 4:4:0
        {"Nikon D90.jpg", settings::StampMode::dataStrip, settings::StampBacking::shadow, true},
        {"Apple iPhone 5.jpg", settings::StampMode::dataStrip, settings::StampBacking::shadow, false},
    };
    veltrop::testing::TempDir dir;
    exporting::ImageLoader::prepare();
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.photo) + (c.mode == settings::StampMode::dataStrip ? " strip" : " overlay"));
        const fs::path source = corpus / c.photo;
        settings::StampConfiguration configuration;
        configuration.project.reset();
        configuration.keepOriginalQuality = true;
        configuration.style.mode = c.mode;
        configuration.style.backing = c.backing;
        if (c.watermark) {
            configuration.watermark = settings::defaultWatermark();
            configuration.watermark->source = settings::WatermarkSource::text("SURVEY");
            configuration.watermark->corner = settings::StampCorner::topLeft;
        }
        const fs::path destination = dir / ("copy" + std::to_string(index++) + ".jpg");
        const auto plan = fx::stampPlan(source, destination, configuration);
        const std::optional<image::Bitmap> noLogo;
        const exporting::StampJob job{configuration, noLogo};
        const auto kept = exporting::stampLosslessly(plan, job);
        ASSERT_TRUE(kept) << kept.error().reason;

        const auto info = exporting::ImageLoader::readInfo(source);
        ASSERT_TRUE(info);
        const int orientation = info->orientation;
        const auto reference = fx::decodePnm("jpegtran -copy none " + std::string(jpegtranTurns[orientation]) + " " +
                                                  fx::shellQuoted(source) + " | djpeg -rgb -nosmooth -pnm");
        const auto copy = fx::decodeWithDjpeg(destination, "-nosmooth");
        ASSERT_TRUE(reference && copy);
        ASSERT_EQ(copy->width, reference->width);
        ASSERT_GE(copy->height, reference->height);

        // The normal path's drawing, ink found by comparing with the photo it was drawn on.
        auto loaded = exporting::ImageLoader::load(source);
        ASSERT_TRUE(loaded);
        auto request = exporting::renderRequest(plan, job);
        request.orientation = loaded->orientation;
        request.image = loaded->image;
        const auto rendered = render::Renderer::render(request);
        ASSERT_TRUE(rendered);
        ASSERT_EQ(rendered->width, copy->width);
        ASSERT_EQ(rendered->height, copy->height);
        const RgbImage normal = rgbOf(*rendered);
        const RgbImage photo = rgbOf(image::oriented(loaded->image, loaded->orientation));

        constexpr int inkThreshold = 48;
        Box normalInk, keptInk;
        std::int64_t changedOutside = 0, inkOutside = 0;
        for (int y = 0; y < reference->height; ++y) {
            for (int x = 0; x < reference->width; ++x) {
                const bool reencoded = inside(kept->reencoded, x, y);
                const int changed = difference(copy->at(x, y), reference->at(x, y));
                if (!reencoded && changed != 0) ++changedOutside;
                if (changed > inkThreshold) keptInk.add(x, y);
                if (difference(normal.at(x, y), photo.at(x, y)) > 0) {
                    if (!reencoded) ++inkOutside;
                    if (difference(normal.at(x, y), photo.at(x, y)) > inkThreshold) normalInk.add(x, y);
                }
            }
        }
        EXPECT_EQ(changedOutside, 0) << "pixels outside the re-encoded MCUs changed";
        EXPECT_EQ(inkOutside, 0) << "the normal path draws where the copy kept the original";
        // A strip without a watermark leaves the photo itself unmarked.
        EXPECT_EQ(keptInk.empty(), normalInk.empty());
        if (!normalInk.empty() && !keptInk.empty()) {
            constexpr int tolerance = 16;  // JPEG noise at the soft edges of shadows and boxes
            EXPECT_NEAR(keptInk.left, normalInk.left, tolerance);
            EXPECT_NEAR(keptInk.top, normalInk.top, tolerance);
            EXPECT_NEAR(keptInk.right, normalInk.right, tolerance);
            EXPECT_NEAR(keptInk.bottom, normalInk.bottom, tolerance);
        }

        // The strip's band: the same drawing, one JPEG generation apart.
        if (copy->height > reference->height) {
            std::int64_t total = 0, count = 0;
            for (int y = reference->height; y < copy->height; ++y)
                for (int x = 0; x < copy->width; ++x, ++count) total += difference(copy->at(x, y), normal.at(x, y));
            EXPECT_LT(static_cast<double>(total) / static_cast<double>(count), 4.0);
        }

        // Size: the original's, plus what the re-encoded area costs.
        std::int64_t reencodedPixels = 0;
        for (const auto& area : kept->reencoded) reencodedPixels += static_cast<std::int64_t>(area.width) * area.height;
        const double originalSize = static_cast<double>(fs::file_size(source));
        const double share = static_cast<double>(reencodedPixels) / (static_cast<double>(copy->width) * reference->height);
        const double copySize = static_cast<double>(fs::file_size(destination));
        EXPECT_LE(copySize, originalSize * (1.02 + share));
        EXPECT_GE(copySize, originalSize * (0.98 - share));
    }
}

TEST(LosslessStamp, PhotosThatCannotKeepTheirBlocksTakeTheNormalPath) {
    VELTROP_REQUIRE_CORPUS(corpus);
    const struct Case {
        const char* photo;
        settings::StampMode mode;
        bool lossless;
        const char* fallback;
    } cases[] = {
        {"Nikon D90.jpg", settings::StampMode::overlay, true, ""},
        // 250 × 250 in 8-pixel MCUs: no whole MCU rows to add the strip below.
        {"Issue 609.jpg", settings::StampMode::dataStrip, false,
         "The photo's height is not whole blocks, so the strip cannot be added below it"},
        {"Issue 609.jpg", settings::StampMode::overlay, true, ""},  // progressive
        {"IMG_2927.HEIC", settings::StampMode::overlay, false, "Only JPEG photos keep their original quality"},
    };
    veltrop::testing::TempDir dir;
    exporting::ImageLoader::prepare();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo);
        settings::StampConfiguration configuration;
        configuration.project.reset();
        configuration.keepOriginalQuality = true;
        configuration.style.mode = c.mode;
        configuration.outputRoot = dir.path();
        exporting::BatchProcessor processor(1);
        const auto photos = exporting::PhotoDiscovery::makePhotos({corpus / c.photo}, {corpus / c.photo});
        const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt, {});
        ASSERT_EQ(summary.results.size(), 1u);
        const auto& outcome = summary.results[0].outcome;
        ASSERT_EQ(outcome.kind, exporting::FileOutcome::Kind::stamped) << outcome.failureText();
        EXPECT_EQ(outcome.lossless, c.lossless);
        EXPECT_EQ(outcome.losslessFallback, c.fallback);
        // Either way the copy is a whole JPEG.
        EXPECT_TRUE(fx::decodeWithDjpeg(outcome.destination));
        fs::remove(outcome.destination);
    }
}

TEST(LosslessStamp, CoverJoinsOverlappingAreasIntoWholeMcus) {
    using image::PixelRect;
    // 16 × 8 MCUs on a 100 × 50 picture.
    const auto cover = exporting::mcuCover({{5, 3, 4, 4}, {14, 2, 4, 2}, {60, 40, 50, 20}}, 16, 8, 100, 50);
    // The first two share MCU columns 0–1 and row 0; the third is clipped to the picture.
    EXPECT_EQ(cover, (std::vector<PixelRect>{{0, 0, 32, 8}, {48, 40, 52, 10}}));
    EXPECT_TRUE(exporting::mcuCover({{200, 0, 10, 10}}, 8, 8, 100, 50).empty());
}
