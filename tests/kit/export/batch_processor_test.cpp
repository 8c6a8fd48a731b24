#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kit/export/batch_processor.h"
#include "support/test_support.h"

using namespace veltrop::exporting;
using veltrop::settings::StampConfiguration;
using veltrop::records::DiscoveredPhoto;
using Kind = FileOutcome::Kind;
using namespace veltrop::testing;

namespace {

DiscoveredPhoto photoIn(const std::filesystem::path& root, const std::string& name, bool dated = true,
                        std::string subpath = "") {
    DiscoveredPhoto photo;
    photo.root = root;
    photo.relativeSubpath = subpath;
    photo.url = subpath.empty() ? root / name : root / subpath / name;
    if (dated)
        photo.captureDate = veltrop::dates::CaptureDateReader::parseExifText(
            "2026:08:14 06:17:49", veltrop::dates::CaptureDateSource::dateTimeOriginal);
    photo.pixelSize = photo.displaySize = {400, 300};
    return photo;
}

std::vector<DiscoveredPhoto> numbered(const std::filesystem::path& root, int count) {
    std::vector<DiscoveredPhoto> photos;
    for (int i = 1; i <= count; ++i) photos.push_back(photoIn(root, "p" + std::to_string(i) + ".jpg"));
    return photos;
}

// Stands in for load-render-write: counts what ran and how much at once, writes nothing.
struct FakeStep {
    std::atomic<int> running{0}, peak{0}, calls{0};

    BatchProcessor::StampStep step(std::function<void(const StampPlan&)> during = {}) {
        return [this, during](const StampPlan& plan, const StampJob&) {
            ++calls;
            const int now = ++running;
            for (int previous = peak.load(); now > previous && !peak.compare_exchange_weak(previous, now);) {
            }
            if (during) during(plan);
            --running;
            return FileOutcome::stamped(*plan.destination);
        };
    }
};

BatchSummary runAll(BatchProcessor& processor, const std::vector<DiscoveredPhoto>& photos,
                    const StampConfiguration& configuration = {}, std::vector<std::size_t>* progress = nullptr) {
    return processor.run(photos, configuration, std::nullopt, {}, std::nullopt, [&](std::size_t finished) {
        if (progress) progress->push_back(finished);
    });
}

}  // namespace

TEST(BatchProcessor, EmptyBatchAndInvalidConfiguration) {
    TempDir dir;
    BatchProcessor processor(4);
    std::vector<std::size_t> progress;
    auto empty = runAll(processor, {}, {}, &progress);
    EXPECT_TRUE(empty.results.empty());
    EXPECT_FALSE(empty.wasCancelled);
    EXPECT_TRUE(progress.empty());

    StampConfiguration invalid;
    invalid.timestampEnabled = false;
    FakeStep fake;
    BatchProcessor strict(4, std::nullopt, fake.step());
    auto summary = runAll(strict, {photoIn(dir.path(), "a.jpg"), photoIn(dir.path(), "b.jpg")}, invalid, &progress);
    ASSERT_EQ(summary.results.size(), 2u);
    for (const auto& result : summary.results) {
        EXPECT_EQ(result.outcome.failureText(),
                  "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical");
        ASSERT_TRUE(result.record);
    }
    EXPECT_EQ(summary.results[1].record->reference, "IMG-0002");
    EXPECT_TRUE(summary.outputRoots.empty());
    EXPECT_EQ(fake.calls, 0);
    EXPECT_TRUE(progress.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "Timestamped"));
}

TEST(BatchProcessor, UndatedPhotosSkipOnlyWhenADateIsNeeded) {
    TempDir dir;
    FakeStep fake;
    BatchProcessor processor(2, std::nullopt, fake.step());
    const std::vector photos{photoIn(dir.path(), "dated.jpg"), photoIn(dir.path(), "undated.jpg", false)};
    auto summary = runAll(processor, photos);
    EXPECT_EQ(summary.results[0].outcome.kind, Kind::stamped);
    EXPECT_EQ(summary.results[1].outcome, FileOutcome::skippedNoDate());

    StampConfiguration watermarkOnly;
    watermarkOnly.timestampEnabled = false;
    watermarkOnly.watermark = veltrop::settings::WatermarkConfig{};
    watermarkOnly.watermark->source = veltrop::settings::WatermarkSource::text("ACME");
    EXPECT_EQ(runAll(processor, photos, watermarkOnly).count(Kind::stamped), 2u);

    StampConfiguration dateInName = watermarkOnly;
    dateInName.naming.template_ = "{date}-{name}";
    EXPECT_EQ(runAll(processor, photos, dateInName).results[1].outcome, FileOutcome::skippedNoDate());
}

TEST(BatchProcessor, PlansCollisionsInInputOrderAndListsRootsOnce) {
    TempDir dir;
    FakeStep fake;
    BatchProcessor processor(4, std::nullopt, fake.step());
    const auto other = dir / "other";
    const std::vector photos{photoIn(dir.path(), "IMG_1.HEIC"), photoIn(dir.path(), "IMG_1.JPG"),
                             photoIn(other, "x.jpg"), photoIn(dir.path(), "IMG_1.jpeg", true, "sub"),
                             photoIn(dir.path(), "undated.jpg", false)};
    auto summary = runAll(processor, photos);
    ASSERT_EQ(summary.results.size(), 5u);
    for (std::size_t i = 0; i < photos.size(); ++i) EXPECT_EQ(summary.results[i].source, photos[i].url);
    EXPECT_EQ(summary.results[0].outcome, FileOutcome::stamped(dir / "Timestamped/IMG_1.jpg"));
    EXPECT_EQ(summary.results[1].outcome, FileOutcome::stamped(dir / "Timestamped/IMG_1-2.jpg"));
    EXPECT_EQ(summary.results[3].outcome, FileOutcome::stamped(dir / "Timestamped/sub/IMG_1.jpg"));
    EXPECT_EQ(summary.outputRoots, (std::vector{dir / "Timestamped", other / "Timestamped"}));
    EXPECT_EQ(summary.unfinishedSources(), std::vector<std::filesystem::path>{});
}

TEST(BatchProcessor, CancelLetsPhotosInFlightFinish) {
    TempDir dir;
    const auto photos = numbered(dir.path(), 10);

    FakeStep fake;
    BatchProcessor* self = nullptr;
    BatchProcessor processor(1, std::nullopt, fake.step([&](const StampPlan& plan) {
        if (plan.photo.url.filename() == "p3.jpg") self->cancel();  // cancel while the third is being written
    }));
    self = &processor;
    std::vector<std::size_t> progress;
    auto summary = runAll(processor, photos, {}, &progress);
    EXPECT_TRUE(summary.wasCancelled);
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3}));
    ASSERT_EQ(summary.results.size(), 10u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(summary.results[i].outcome.kind, Kind::stamped);
    for (int i = 3; i < 10; ++i) {
        EXPECT_EQ(summary.results[i].outcome, FileOutcome::notProcessed());
        EXPECT_EQ(summary.results[i].source, photos[i].url);
        ASSERT_TRUE(summary.results[i].record);
    }
    EXPECT_EQ(summary.unfinishedSources().size(), 7u);

    // A new run clears the cancel flag.
    auto again = runAll(processor, {photos[9]});
    EXPECT_FALSE(again.wasCancelled);
    EXPECT_EQ(again.results[0].outcome.kind, Kind::stamped);
}

TEST(BatchProcessor, CancelBeforeTheRunStopsItAndIsUsedUp) {
    TempDir dir;
    const auto photos = numbered(dir.path(), 5);
    FakeStep fake;
    BatchProcessor processor(2, std::nullopt, fake.step());
    processor.cancel();  // e.g. Ctrl-C while the photos are still being found
    std::vector<std::size_t> progress;
    auto summary = runAll(processor, photos, {}, &progress);
    EXPECT_TRUE(summary.wasCancelled);
    EXPECT_EQ(summary.count(Kind::notProcessed), 5u);
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(fake.calls.load(), 0);

    auto again = runAll(processor, photos);
    EXPECT_FALSE(again.wasCancelled);
    EXPECT_EQ(again.count(Kind::stamped), 5u);
}

// Counts the threads that ever ran a photo: a thread-local object is built
// once per thread, even when a later thread reuses an earlier one's id.
std::atomic<int> threadsSeen{0};
struct ThreadMarker {
    ThreadMarker() { ++threadsSeen; }
};

// One fixed pool of at most three workers, never the caller's thread, serves the whole batch.
TEST(BatchProcessor, ConcurrencyLimitAndPixelLimit) {
    TempDir dir;
    const auto photos = numbered(dir.path(), 40);
    threadsSeen = 0;
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    FakeStep fake;
    BatchProcessor processor(3, std::nullopt, fake.step([&](const StampPlan&) {
        thread_local ThreadMarker marker;
        if (std::this_thread::get_id() == caller) onCaller = true;
        std::this_thread::yield();
    }));
    std::vector<std::size_t> progress;
    auto summary = runAll(processor, photos, {}, &progress);
    EXPECT_EQ(summary.count(Kind::stamped), 40u);
    EXPECT_LE(fake.peak.load(), 3);
    EXPECT_EQ(progress.size(), 40u);
    EXPECT_EQ(progress.back(), 40u);
    EXPECT_GE(threadsSeen.load(), 1);
    EXPECT_LE(threadsSeen.load(), 3);
    EXPECT_FALSE(onCaller.load());

    EXPECT_EQ(BatchProcessor(0).maxConcurrent(), 1);

    FakeStep limited;
    BatchProcessor mobile(2, 50'000'000.0, limited.step());
    auto big = photoIn(dir.path(), "big.jpg");
    big.pixelSize = {8000, 7000};
    auto exact = photoIn(dir.path(), "exact.jpg");
    exact.pixelSize = {10000, 5000};
    auto result = runAll(mobile, {big, exact});
    EXPECT_EQ(result.results[0].outcome, FileOutcome::failed(PixelLimitExceeded{50'000'000}));
    EXPECT_EQ(result.results[0].outcome.failureText(),
              "This photo exceeds the 50 MP mobile limit. Export a smaller copy or use Veltrop on Mac.");
    EXPECT_EQ(result.results[1].outcome.kind, Kind::stamped);
}

TEST(BatchProcessor, RecordErrorsAndPlanningErrorsFailOnlyTheirPhoto) {
    TempDir dir;
    FakeStep fake;
    BatchProcessor processor(2, std::nullopt, fake.step());
    auto source = photoIn(dir.path(), "a.jpg");
    auto next = photoIn(dir.path(), "b.jpg");
    StampConfiguration inPlace;
    inPlace.outputRoot = dir.path();  // writing next to the originals with the same name
    auto summary = runAll(processor, {source, next}, inPlace);
    EXPECT_EQ(summary.results[0].outcome, FileOutcome::failed(OutputError::wouldOverwriteSource(dir / "a.jpg")));
    EXPECT_EQ(summary.results[0].outcome.failureText(),
              "Refusing to write over the original photo at " + (dir / "a.jpg").string());
    EXPECT_EQ(summary.results[1].outcome.kind, Kind::failed);

    veltrop::records::DateCorrectionRule tooFar;
    tooFar.offsetSeconds = veltrop::records::maximumShiftSeconds + 1;
    const std::vector rules{tooFar};
    auto corrected = processor.run({source}, StampConfiguration{}, std::nullopt, rules, std::nullopt);
    EXPECT_EQ(corrected.results[0].outcome, FileOutcome::failed(veltrop::records::DateResolutionError::shiftOutOfRange));
    EXPECT_EQ(corrected.results[0].outcome.failureText(), "Clock correction is outside the supported date range");
}
