#include <gtest/gtest.h>

#include <chrono>

#include "app/model/preview.h"
#include "app_test_support.h"
#include "kit/export/batch_processor.h"
#include "kit/export/photo_discovery.h"
#include "kit/render/renderer.h"
#include "kit/render/render_test_support.h"

using namespace veltrop;
using veltrop::app::PreviewBaseCache;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

// The real decoder, counted.
struct CountingDecoder {
    int decodes = 0;
    PreviewBaseCache::Decoder decoder(int maxPixelSize = 200) {
        return [this, real = PreviewBaseCache::thumbnailDecoder(maxPixelSize)](const fs::path& file) {
            ++decodes;
            return real(file);
        };
    }
};

// The preview as it was drawn before bases were kept: the thumbnail's stored
// pixels and orientation handed to the renderer, as the export hands a photo.
image::Bitmap previewWithoutCache(const records::DiscoveredPhoto& photo,
                                  const settings::StampConfiguration& configuration) {
    auto thumbnail = exporting::ImageLoader::loadThumbnail(photo.url, app::previewMaxPixelSize,
                                                           exporting::ThumbnailOrientation::asStored);
    if (!thumbnail) return {};
    const auto record = records::makeRecord(photo, 0, configuration, {}, std::nullopt);
    render::RenderRequest request;
    request.image = std::move(thumbnail->image);
    request.orientation = thumbnail->orientation;
    request.timestamp = exporting::timestampText(configuration, record.resolvedDate);
    request.style = configuration.style;
    request.strip = records::effectiveStrip(configuration, record);
    request.recordText = records::stripLine(configuration, record);
    request.exif = photo.exif;
    request.watermark = configuration.watermark;
    request.timestampEnabled = configuration.timestampEnabled;
    auto rendered = render::Renderer::render(std::move(request));
    return rendered ? std::move(*rendered) : image::Bitmap{};
}

}  // namespace

TEST(PreviewBaseCache, KeepsTheBaseUntilTheFileChanges) {
    TempDir folder;
    const fs::path photo = folder / "photo.jpg";
    const fs::path other = folder / "other.jpg";

    struct Case {
        const char* change;
        std::function<void()> apply;
        bool decodesAgain;
        int height;  // of the base afterwards: 200 wide, from the file's own size
    };
    const std::vector<Case> cases{
        {"nothing", [] {}, false, 133},
        {"replaced by a larger photo under the same name",
         [&] {
             writeJpeg(other, sized(400, 100));
             fs::rename(other, photo);
         },
         true, 50},
        {"the modification time alone",
         [&] { fs::last_write_time(photo, fs::last_write_time(photo) - std::chrono::hours(1)); }, true, 50},
        {"replaced by a same-size copy with the old modification time",
         [&] {
             fs::copy_file(photo, other);
             fs::last_write_time(other, fs::last_write_time(photo));
             fs::rename(other, photo);
         },
         true, 50},
    };

    writeJpeg(photo, sized(300, 200));
    CountingDecoder counter;
    PreviewBaseCache cache({}, counter.decoder());
    const auto first = cache.base(photo);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width, 200);
    EXPECT_EQ(first->height, 133);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        const int before = counter.decodes;
        const auto kept = cache.base(photo);
        ASSERT_TRUE(kept);
        c.apply();
        const auto after = cache.base(photo);
        ASSERT_TRUE(after);
        EXPECT_EQ(counter.decodes - before, c.decodesAgain ? 1 : 0);
        EXPECT_EQ(after->pixels == kept->pixels, !c.decodesAgain);
        EXPECT_EQ(after->width, 200);
        EXPECT_EQ(after->height, c.height);
    }
    EXPECT_EQ(cache.entryCount(), 1u);

    fs::remove(photo);
    const auto gone = cache.base(photo);
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().kind, exporting::ImageLoadError::Kind::unreadable);
}

TEST(PreviewBaseCache, DropsTheLeastRecentlyUsedBeyondItsBounds) {
    TempDir folder;
    std::vector<fs::path> photos;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        photos.push_back(folder / name);
        writeJpeg(photos.back(), sized(200, 100));
    }
    const std::size_t baseBytes = 200 * 100 * 4;

    struct Bound {
        const char* name;
        PreviewBaseCache::Limits limits;
        std::size_t kept;
    };
    for (const Bound& bound : {Bound{"two entries", {2, 100 * baseBytes}, 2},
                               Bound{"bytes for two and a half", {100, 5 * baseBytes / 2}, 2},
                               Bound{"bytes for less than one", {100, baseBytes - 1}, 0}}) {
        SCOPED_TRACE(bound.name);
        CountingDecoder counter;
        PreviewBaseCache cache(bound.limits, counter.decoder());
        // a, b, a again (now the most recent), then c pushes out the oldest: b.
        for (const fs::path& photo : {photos[0], photos[1], photos[0], photos[2]}) ASSERT_TRUE(cache.base(photo));
        EXPECT_EQ(cache.entryCount(), bound.kept);
        EXPECT_EQ(cache.byteCount(), bound.kept * baseBytes);

        const int before = counter.decodes;
        ASSERT_TRUE(cache.base(photos[0]));
        EXPECT_EQ(counter.decodes - before, bound.kept > 0 ? 0 : 1) << "a was used last but one";
        ASSERT_TRUE(cache.base(photos[1]));
        EXPECT_EQ(counter.decodes - before, bound.kept > 0 ? 1 : 2) << "b was the oldest";
        EXPECT_LE(cache.entryCount(), bound.kept);
    }
}

TEST(PreviewBaseCache, APreviewAfterASettingChangeIsTheOneDrawnWithoutIt) {
    TempDir folder;
    std::vector<fs::path> files{folder / "generated.jpg"};
    writeJpeg(files.front(), sized(2400, 1800));
    if (const auto corpus = corpusFolder())
        files.push_back(*corpus / "Leica T (Typ 701).jpg");  // stored turned: orientation 6

    settings::StampConfiguration before = settings::defaultConfiguration();
    settings::StampConfiguration after = before;
    after.style.mode = settings::StampMode::dataStrip;
    after.style.corner = settings::StampCorner::topLeft;
    after.watermark = settings::defaultWatermark();
    after.watermark->source = settings::WatermarkSource::text("ACME");

    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto photos = exporting::PhotoDiscovery::makePhotos({file}, {file.parent_path()});
        ASSERT_EQ(photos.size(), 1u);
        CountingDecoder counter;
        PreviewBaseCache cache({}, counter.decoder(app::previewMaxPixelSize));
        app::PreviewInput input{photos.front(), before, std::nullopt, std::nullopt};
        const auto first = app::renderPreviewWith(cache, input);
        ASSERT_TRUE(first) << first.error();
        input.configuration = after;
        const auto changed = app::renderPreviewWith(cache, input);
        ASSERT_TRUE(changed) << changed.error();
        EXPECT_EQ(counter.decodes, 1);

        EXPECT_TRUE(veltrop::render::probe::samePixels(*first, previewWithoutCache(photos.front(), before)));
        EXPECT_TRUE(veltrop::render::probe::samePixels(*changed, previewWithoutCache(photos.front(), after)));
        // Drawing the preview left the kept base as it was.
        EXPECT_TRUE(veltrop::render::probe::samePixels(*cache.base(file), *PreviewBaseCache::thumbnailDecoder(app::previewMaxPixelSize)(file)));
    }
}
