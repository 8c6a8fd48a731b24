#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "support/test_support.h"

using namespace veltrop::exporting;
namespace fs = std::filesystem;

// Real photos through the whole pipeline on four workers: every copy upright,
// and one result per input in input order (the tags each copy keeps are
// MetadataFidelity's).
TEST(BatchIntegration, StampsRealPhotosConcurrently) {
    VELTROP_REQUIRE_CORPUS(corpus);
    veltrop::testing::TempDir dir;
    const fs::path site = dir / "site";
    fs::create_directories(site / "day2");
    for (auto name : {"FujiFilm DS-7 (1).jpg", "Samsung GT-I9000 (Galaxy S).jpg", "landscape_5.jpg", "zPug_3.heic",
                      "corrupted.jpg"})
        fs::copy_file(corpus / name, site / name);
    fs::copy_file(corpus / "FujiFilm DS-7 (1).jpg", site / "day2/FujiFilm DS-7 (1).JPG");

    ImageLoader::prepare();
    const std::vector<fs::path> dropped{site};
    auto photos = PhotoDiscovery::makePhotos(PhotoDiscovery::discoverFiles(dropped, true, {}), dropped);
    ASSERT_EQ(photos.size(), 6u);

    veltrop::settings::StampConfiguration configuration;
    configuration.useFileDateFallback = true;  // the undated ones still go through
    configuration.naming.template_ = "{name}";
    BatchProcessor processor(4);
    veltrop::handover::ContactSheet::keepThumbnails(processor);
    std::vector<std::size_t> progress;
    const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt,
                                       [&](std::size_t finished) { progress.push_back(finished); });
    ASSERT_EQ(summary.results.size(), photos.size());
    EXPECT_EQ(progress.size(), photos.size());
    for (std::size_t i = 0; i < photos.size(); ++i) EXPECT_EQ(summary.results[i].source, photos[i].url);
    // corrupted.jpg has damaged but complete image data: it is stamped too.
    EXPECT_EQ(summary.count(FileOutcome::Kind::stamped), 6u);
    EXPECT_EQ(summary.failedSources(), std::vector<fs::path>{});
    EXPECT_EQ(summary.outputRoots, std::vector{site / "Timestamped"});

    // The contact sheet's thumbnails are the stamped pictures themselves, made
    // small before the copies were encoded: they match the copies read back.
    const auto kept = processor.thumbnails();
    ASSERT_TRUE(kept);
    for (const auto& result : summary.results) {
        SCOPED_TRACE(result.source.string());
        const auto source = ImageLoader::readInfo(result.source);
        const auto copy = ImageLoader::readInfo(result.outcome.destination);
        ASSERT_TRUE(source && copy);
        EXPECT_EQ(copy->orientation, 1);
        EXPECT_EQ(copy->pixelSize, source->displaySize());
        const auto picture = kept->find(result.source);
        ASSERT_TRUE(picture);
        const fs::path pictureFile = dir / "kept.jpg";
        veltrop::testing::writeFile(pictureFile, picture->data);
        const auto fromKept = ImageLoader::load(pictureFile);
        const auto fromCopy = ImageLoader::loadThumbnail(result.outcome.destination, 700, ThumbnailOrientation::upright);
        ASSERT_TRUE(fromKept && fromCopy);
        ASSERT_EQ(fromKept->pixelSize(), fromCopy->pixelSize());
        EXPECT_LE(std::max(picture->width, picture->height), 700);
        double difference = 0;
        const auto& a = fromKept->image;
        const auto& b = fromCopy->image;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < 4 * a.width; ++x) difference += std::abs(a.row(y)[x] - b.row(y)[x]);
        EXPECT_LT(difference / (4.0 * a.width * a.height), 6.0);
        fs::remove(pictureFile);
    }
    EXPECT_TRUE(veltrop::handover::ContactSheet::make(summary, configuration, kept.get()));
    fs::copy_file(site / "Timestamped/zPug_3.jpg", dir / "moved.jpg");
    fs::remove(site / "Timestamped/zPug_3.jpg");
    const auto withoutCopy = veltrop::handover::ContactSheet::make(summary, configuration, kept.get());
    ASSERT_FALSE(withoutCopy);
    EXPECT_EQ(withoutCopy.error().description(), "Could not read the exported preview for zPug_3.heic");
    fs::rename(dir / "moved.jpg", site / "Timestamped/zPug_3.jpg");

    EXPECT_TRUE(fs::exists(site / "Timestamped/day2/FujiFilm DS-7 (1).jpg"));
    EXPECT_TRUE(fs::exists(site / "Timestamped/FujiFilm DS-7 (1).jpg"));
    EXPECT_TRUE(fs::exists(site / "Timestamped/zPug_3.jpg"));
    // No private temporary folders are left anywhere.
    for (const auto& entry : fs::recursive_directory_iterator(site))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".veltrop-")) << entry.path();
}
