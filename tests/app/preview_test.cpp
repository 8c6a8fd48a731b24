#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

#include "app_test_support.h"
#include "kit/storage/preset_store.h"

using namespace veltrop;
using veltrop::app::AppModel;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

settings::StampConfiguration watermarkOnly(settings::StampConfiguration configuration) {
    configuration.timestampEnabled = false;
    configuration.watermark = settings::defaultWatermark();
    configuration.watermark->source = settings::WatermarkSource::text("ACME");
    return configuration;
}

image::Bitmap tinyBitmap(int width) {
    auto bitmap = image::Bitmap::allocate(width, 4);
    return *bitmap;
}

// Waits for the preview of the current selection to settle.
bool waitForPreview(AppModel& model) {
    return waitFor([&] { return model.previewBitmap().has_value() || model.previewError().has_value(); });
}

}  // namespace

TEST(Preview, RendersTheSelectedPhotoFromAThumbnailOrSaysWhyNot) {
    ModelHarness harness;
    const fs::path big = harness.photos() / "big.jpg";
    writeJpeg(big, sized(2400, 1800));
    writeJpeg(harness.photos() / "undated.jpg", undated());
    writeFile(harness.photos() / "corrupt.jpg", "not a photo at all");
    AppModel& model = harness.make();
    model.addLocations({harness.photos()});
    ASSERT_EQ(model.photos().size(), 3u);

    model.setSelection(big);
    ASSERT_TRUE(waitForPreview(model));
    ASSERT_TRUE(model.previewBitmap()) << model.previewError().value_or("");
    EXPECT_EQ(model.previewBitmap()->width, app::previewMaxPixelSize);
    EXPECT_EQ(model.previewBitmap()->height, 1200);
    EXPECT_EQ(model.previewImage().size(), QSize(1600, 1200));

    auto showsError = [&](const fs::path& photo, const std::string& text) {
        model.setSelection(photo);
        EXPECT_TRUE(waitFor([&] { return model.previewError() == text; })) << photo << ": "
                                                                           << model.previewError().value_or("image");
        EXPECT_FALSE(model.previewBitmap());
    };
    showsError(harness.photos() / "undated.jpg", std::string(app::noUsableDateText));
    showsError(harness.photos() / "corrupt.jpg", std::string(app::noUsableDateText));

    // Without a timestamp a photo needs no date; a damaged file still cannot be shown.
    model.setConfiguration(watermarkOnly(model.configuration()));
    model.setSelection(harness.photos() / "undated.jpg");
    EXPECT_TRUE(waitFor([&] { return model.previewBitmap().has_value(); }));
    showsError(harness.photos() / "corrupt.jpg", "Could not decode corrupt.jpg");

    fs::remove(big);
    showsError(big, "Could not read big.jpg");

    model.setSelection(std::nullopt);
    EXPECT_FALSE(model.previewBitmap());
    EXPECT_FALSE(model.previewError());
}

TEST(Preview, ABurstOfEditsRendersOnceForTheLastState) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg");
    AppModel& model = harness.make();
    std::mutex mutex;
    std::vector<std::string> rendered;
    model.setPreviewRenderer([&](const app::PreviewInput& input) -> app::PreviewOutcome {
        std::lock_guard lock(mutex);
        rendered.push_back(input.configuration.strip.label);
        return tinyBitmap(8);
    });
    QSignalSpy previews(&model, &AppModel::previewChanged);

    model.addLocations({harness.photos()});
    for (int edit = 0; edit < 10; ++edit) {
        veltrop::testing::edit(model, [&](auto& c) { c.strip.label = "edit " + std::to_string(edit); });
    }
    ASSERT_TRUE(previews.wait(10000));
    ASSERT_TRUE(model.waitForBackgroundWork(10000));
    QCoreApplication::sendPostedEvents();
    std::lock_guard lock(mutex);
    EXPECT_EQ(rendered, std::vector<std::string>{"edit 9"});
    EXPECT_EQ(previews.count(), 1);
}

TEST(Preview, ChangingTheSelectionDuringARenderNeverShowsTheOlderPhoto) {
    ModelHarness harness;
    const fs::path first = harness.photos() / "a.jpg", second = harness.photos() / "b.jpg";
    writeJpeg(first);
    writeJpeg(second);
    AppModel& model = harness.make();

    std::atomic<bool> firstStarted{false};
    std::promise<void> releaseFirst;
    std::shared_future<void> firstReleased = releaseFirst.get_future().share();
    model.setPreviewRenderer([&, firstReleased](const app::PreviewInput& input) -> app::PreviewOutcome {
        if (input.photo.url == first) {
            firstStarted = true;
            firstReleased.wait();
            return tinyBitmap(10);
        }
        return tinyBitmap(20);
    });
    std::vector<int> shown;
    QObject::connect(&model, &AppModel::previewChanged, [&] {
        shown.push_back(model.previewBitmap() ? model.previewBitmap()->width : 0);
    });

    model.addLocations({harness.photos()});
    ASSERT_EQ(model.selection(), first);
    ASSERT_TRUE(waitFor([&] { return firstStarted.load(); }));
    model.setSelection(second);
    EXPECT_TRUE(waitFor([&] { return model.previewBitmap() && model.previewBitmap()->width == 20; }));

    releaseFirst.set_value();
    ASSERT_TRUE(model.waitForBackgroundWork(10000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(model.previewBitmap()->width, 20);
    EXPECT_EQ(shown, std::vector<int>{20});
}

TEST(Preview, RepresentativePhotosListEachPhotoOnce) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "1.jpg");
    writeJpeg(harness.photos() / "2-portrait.jpg", sized(30, 60));
    writeJpeg(harness.photos() / "3.jpg");
    writeJpeg(harness.photos() / "4-undated.jpg", undated());
    writeJpeg(harness.photos() / "5.jpg");
    writeJpeg(harness.photos() / "6.jpg");
    AppModel& model = harness.make();
    model.addLocations({harness.photos()});
    ASSERT_EQ(model.photos().size(), 6u);
    model.applyCorrection(shiftRule(records::DateCorrectionScope::photo(harness.photos() / "5.jpg"), 3600));
    model.setSelection(harness.photos() / "6.jpg");

    auto names = [&] {
        std::vector<std::string> result;
        for (const auto& photo : model.representativePhotos()) result.push_back(photo.url.filename().string());
        return result;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"6.jpg", "2-portrait.jpg", "5.jpg", "4-undated.jpg"}));

    model.setSelection(harness.photos() / "2-portrait.jpg");
    EXPECT_EQ(names(), (std::vector<std::string>{"2-portrait.jpg", "5.jpg", "4-undated.jpg", "1.jpg"}));

    ModelHarness small;
    writeJpeg(small.photos() / "a.jpg");
    writeJpeg(small.photos() / "b.jpg");
    AppModel& two = small.make();
    two.addLocations({small.photos()});
    EXPECT_EQ(two.representativePhotos().size(), 2u);
}
