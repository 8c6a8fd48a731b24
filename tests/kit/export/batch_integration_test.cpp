#include <gtest/gtest.h>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "support/test_support.h"

using namespace veltrop::exporting;
namespace fs = std::filesystem;

// Real photos through the whole pipeline on four workers: every copy upright,
// with its recorded dates kept, and one result per input in input order.
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

    for (const auto& result : summary.results) {
        if (result.outcome.kind != FileOutcome::Kind::stamped) continue;
        SCOPED_TRACE(result.source.string());
        const auto source = ImageLoader::readInfo(result.source);
        const auto copy = ImageLoader::readInfo(result.outcome.destination);
        ASSERT_TRUE(source && copy);
        EXPECT_EQ(copy->orientation, 1);
        EXPECT_EQ(copy->pixelSize, source->displaySize());
        const auto& sourceExif = veltrop::dates::group(source->properties, veltrop::dates::keys::exif);
        const auto& copyExif = veltrop::dates::group(copy->properties, veltrop::dates::keys::exif);
        EXPECT_EQ(veltrop::dates::find(copyExif, "DateTimeOriginal") != nullptr,
                  veltrop::dates::find(sourceExif, "DateTimeOriginal") != nullptr);
        if (auto original = veltrop::dates::find(sourceExif, "DateTimeOriginal")) {
            EXPECT_EQ(*veltrop::dates::find(copyExif, "DateTimeOriginal"), *original);
        }
    }
    EXPECT_TRUE(fs::exists(site / "Timestamped/day2/FujiFilm DS-7 (1).jpg"));
    EXPECT_TRUE(fs::exists(site / "Timestamped/FujiFilm DS-7 (1).jpg"));
    EXPECT_TRUE(fs::exists(site / "Timestamped/zPug_3.jpg"));
    // No private temporary folders are left anywhere.
    for (const auto& entry : fs::recursive_directory_iterator(site))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".veltrop-")) << entry.path();
}
