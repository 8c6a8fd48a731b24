#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>

#include "app_test_support.h"
#include "kit/handover/handover_package.h"
#include "kit/settings/settings_json.h"

using namespace veltrop;
using veltrop::app::AppModel;
using namespace veltrop::testing;
using Kind = exporting::FileOutcome::Kind;
namespace fs = std::filesystem;
namespace texts = veltrop::app::modelTexts;

namespace {

std::vector<std::string> names(const std::vector<records::DiscoveredPhoto>& photos) {
    std::vector<std::string> result;
    for (const auto& photo : photos) result.push_back(photo.url.filename().string());
    return result;
}

std::int64_t ordinalOf(const AppModel& model, const fs::path& photo) { return model.photoOrdinals().at(photo); }

}  // namespace

// ---------------------------------------------------------------- photos and folders

TEST(AppModelPhotos, AddsEachLocationOnceAndNeverReusesANumber) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg");
    writeJpeg(site / "sub" / "c.jpg");
    const fs::path single = harness.photos() / "single.jpg";
    writeJpeg(single);
    AppModel& model = harness.make();
    QSignalSpy photosChanged(&model, &AppModel::photosChanged);

    model.addLocations({site});
    EXPECT_EQ(names(model.photos()), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(model.selection(), site / "a.jpg");
    EXPECT_EQ(photosChanged.count(), 1);

    model.addLocations({site, site / "." , harness.photos() / "missing.jpg"});
    EXPECT_EQ(model.droppedRoots(), std::vector<fs::path>{site});
    EXPECT_EQ(model.photos().size(), 3u);
    EXPECT_EQ(model.fileAccessMessage(),
              "Could not open missing.jpg. Choose the photo or folder again to allow access.");
    model.dismissFileAccessMessage();
    EXPECT_FALSE(model.fileAccessMessage());

    harness.user->photoAnswers.push_back({single});
    model.choosePhotos();
    ASSERT_EQ(model.photos().size(), 4u);
    EXPECT_EQ(ordinalOf(model, single), 3);

    // A photo that goes and comes back keeps its first number.
    fs::rename(site / "b.jpg", harness.dir / "b.jpg");
    model.rediscover();
    EXPECT_EQ(model.photos().size(), 3u);
    fs::rename(harness.dir / "b.jpg", site / "b.jpg");
    model.rediscover();
    EXPECT_EQ(ordinalOf(model, site / "b.jpg"), 1);
    EXPECT_EQ(model.nextOrdinal(), 4);
    for (const auto& photo : model.photos()) EXPECT_EQ(photo.batchOrdinal, ordinalOf(model, photo.url));

    // Turning subfolders off changes the batch at once.
    edit(model, [](auto& c) { c.includeSubfolders = false; });
    auto remaining = names(model.photos());
    std::sort(remaining.begin(), remaining.end());
    EXPECT_EQ(remaining, (std::vector<std::string>{"a.jpg", "b.jpg", "single.jpg"}));

    model.clearBatch();
    EXPECT_TRUE(model.photos().empty());
    EXPECT_TRUE(model.droppedRoots().empty());
    EXPECT_TRUE(model.inputAccessLocations().empty());
    EXPECT_FALSE(model.selection());
    model.addLocations({single});
    EXPECT_EQ(ordinalOf(model, single), 0);
}

// ---------------------------------------------------------------- presets

TEST(AppModelPresets, FirstStartWritesTheBuiltInsAndRemembersTheChoice) {
    ModelHarness harness;
    AppModel& model = harness.make();
    EXPECT_EQ(model.presets(), storage::builtIns());
    EXPECT_EQ(harness.presetStore->presets, storage::builtIns());
    EXPECT_EQ(model.selectedPresetID(), storage::timestampPresetID());
    EXPECT_EQ(model.presetLabel(), "Timestamp");

    model.applyPreset(storage::watermarkPresetID());
    EXPECT_EQ(harness.defaults->value(texts::lastPresetKey).toString().toStdString(),
              storage::watermarkPresetID().text());
    AppModel& restarted = harness.make();
    EXPECT_EQ(restarted.selectedPresetID(), storage::watermarkPresetID());
}

TEST(AppModelPresets, SaveRenameUpdateDeleteAndRestore) {
    ModelHarness harness;
    AppModel& model = harness.make();
    const int writes = harness.presetStore->saveCount;

    model.saveAsNewPreset(" \n ");
    EXPECT_EQ(model.presets().size(), 2u);
    model.saveAsNewPreset("  Site survey\n");
    ASSERT_EQ(model.presets().size(), 3u);
    EXPECT_EQ(model.presets().back().name, "Site survey");
    EXPECT_EQ(model.selectedPresetID(), model.presets().back().id);
    EXPECT_EQ(model.presetLabel(), "Site survey");
    EXPECT_EQ(harness.presetStore->presets, model.presets());

    edit(model, [](auto& c) { c.style.corner = settings::StampCorner::topLeft; });
    EXPECT_EQ(model.presetLabel(), "Site survey (modified)");
    model.updateSelectedPreset();
    EXPECT_EQ(model.presetLabel(), "Site survey");
    model.renameSelectedPreset(" Bridge ");
    EXPECT_EQ(model.presetLabel(), "Bridge");
    EXPECT_EQ(harness.presetStore->presets.back().name, "Bridge");

    // How a failing write is shown is PresetLibrary's.
    model.applyPreset(storage::timestampPresetID());
    model.renameSelectedPreset("Dates");
    model.restoreBuiltInPresets();
    ASSERT_EQ(model.presets().size(), 3u);
    EXPECT_EQ(model.presets()[0], storage::builtIns()[0]);
    EXPECT_EQ(model.presets()[1], storage::builtIns()[1]);
    EXPECT_EQ(model.presets()[2].name, "Bridge");

    model.deleteSelectedPreset();
    EXPECT_EQ(model.presets().size(), 2u);
    EXPECT_FALSE(harness.defaults->contains(texts::lastPresetKey));
    EXPECT_EQ(harness.presetStore->presets, model.presets());
    EXPECT_GT(harness.presetStore->saveCount, writes);
}

TEST(AppModelPresets, AnOlderPresetWithoutProjectKeepsTheProjectLabels) {
    ModelHarness harness;
    settings::Preset old{settings::Uuid::random(), "Old", settings::defaultConfiguration()};
    old.configuration.style.theme = settings::StampTheme::retro;
    harness.presetStore->presets = {storage::builtIns()[0], old};
    AppModel& model = harness.make();

    edit(model, [](auto& c) { c.project->title = "Rainforest survey", c.project->referencePrefix = "RF"; });
    model.applyPreset(old.id);
    EXPECT_EQ(model.configuration().style.theme, settings::StampTheme::retro);
    EXPECT_EQ(model.configuration().project->title, "Rainforest survey");
    EXPECT_EQ(model.configuration().project->referencePrefix, "RF");
    EXPECT_EQ(model.presetLabel(), "Old");
}

// ---------------------------------------------------------------- corrections and range

TEST(AppModelCorrections, TheLatestRuleOfAScopeWinsAndTheRangeIsChecked) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg", byCamera("Field Cam"));
    writeJpeg(harness.photos() / "b.jpg", undated());
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), false));
    model.addLocations({harness.photos()});
    ASSERT_EQ(model.photos().size(), 2u);
    EXPECT_EQ(model.statusText(), "Will stamp 1 photo, skipping 1");
    EXPECT_EQ(model.undatedCount(), 1u);

    QSignalSpy corrections(&model, &AppModel::correctionsChanged);
    model.applyCorrection(shiftRule(records::DateCorrectionScope::all(), 3600));
    model.applyCorrection(shiftRule(records::DateCorrectionScope::all(), 7200));
    ASSERT_EQ(dates::cameraText(model.photos()[0].exif), "Field Cam");
    const auto camera = shiftRule(records::DateCorrectionScope::camera("Field Cam"), 60);
    model.applyCorrection(camera);
    EXPECT_EQ(corrections.count(), 3);
    ASSERT_EQ(model.corrections().size(), 2u);
    EXPECT_EQ(model.corrections()[0].offsetSeconds, 7200);
    EXPECT_EQ(dates::text(*model.records()[0].resolvedDate), "2024-05-14 09:31:15");

    auto supplied = records::makeSupplyRule(records::DateCorrectionScope::photo(harness.photos() / "b.jpg"),
                                            "2024-05-20 12:00:00");
    ASSERT_TRUE(supplied);
    model.applyCorrection(*supplied);
    EXPECT_EQ(model.statusText(), "Will stamp 2 photos");
    model.removeCorrection(camera.id);
    EXPECT_EQ(dates::text(*model.records()[0].resolvedDate), "2024-05-14 11:30:15");

    model.setExpectedRangeEnabled(true);
    model.setExpectedStart(QDate(2024, 5, 1));
    model.setExpectedEnd(QDate(2024, 5, 15));  // what the range does to records is AppModelRecords'
    EXPECT_TRUE(model.canExport());

    model.setExpectedEnd(QDate(2024, 4, 1));
    EXPECT_FALSE(model.canExport());
    EXPECT_EQ(model.statusText(), "The project end date must be after its start date");

    model.clearBatch();
    EXPECT_TRUE(model.corrections().empty());
    EXPECT_FALSE(model.expectedRangeEnabled());
}

// The records are built once per change of what they read; no change may leave them stale.
TEST(AppModelRecords, EveryChangeOfWhatARecordReadsShowsInTheRecords) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg");
    writeJpeg(harness.photos() / "b.jpg", undated());
    AppModel& model = harness.make();
    model.addLocations({harness.photos()});
    ASSERT_EQ(model.records().size(), 2u);

    auto editProject = [&](const std::function<void(settings::PhotoProject&)>& change) {
        edit(model, [&](auto& c) { change(*c.project); });
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        std::function<bool(const std::vector<records::PhotoRecord>&)> shows;
        bool projectOnly = false;  // lists of names and dates may keep their rows
    };
    const std::vector<Step> steps{
        {"title", [&] { editProject([](auto& p) { p.title = "North bridge"; }); },
         [](const auto& r) { return r[0].project == "North bridge" && r[1].project == "North bridge"; }, true},
        {"location", [&] { editProject([](auto& p) { p.location = "Pier 4"; }); },
         [](const auto& r) { return r[0].location == "Pier 4"; }, true},
        {"prefix and first number",
         [&] { editProject([](auto& p) { p.referencePrefix = "NB"; p.firstNumber = 40; }); },
         [](const auto& r) { return r[0].reference == "NB-0040" && r[1].reference == "NB-0041"; }, true},
        {"shift", [&] { model.applyCorrection(shiftRule(records::DateCorrectionScope::all(), 3600)); },
         [](const auto& r) { return r[0].resolvedDate && dates::text(*r[0].resolvedDate) == "2024-05-14 10:30:15"; }},
        {"removed shift", [&] { model.removeCorrection(model.corrections().front().id); },
         [](const auto& r) { return r[0].resolvedDate && dates::text(*r[0].resolvedDate) == "2024-05-14 09:30:15"; }},
        {"file dates",
         [&] { edit(model, [](auto& c) { c.useFileDateFallback = true; }); },
         [](const auto& r) { return r[1].resolvedDate.has_value(); }},
        {"expected range",
         [&] {
             model.setExpectedStart(QDate(2020, 1, 1));
             model.setExpectedEnd(QDate(2020, 1, 2));
             model.setExpectedRangeEnabled(true);
         },
         [](const auto& r) {
             return std::find(r[0].warnings.begin(), r[0].warnings.end(), records::warnings::outsideRange) !=
                    r[0].warnings.end();
         }},
        {"a new photo", [&] { writeJpeg(harness.photos() / "c.jpg"); model.rediscover(); },
         [](const auto& r) { return r.size() == 3 && r[2].sourceName == "c.jpg"; }},
        {"cleared batch", [&] { model.clearBatch(); }, [](const auto& r) { return r.empty(); }},
    };
    for (const Step& step : steps) {
        const auto revision = model.recordsRevision();
        step.change();
        const auto& shown = model.records();
        EXPECT_TRUE(step.shows(shown)) << step.what;
        EXPECT_EQ(model.recordsRevision() == revision, step.projectOnly) << step.what;
        // Built afresh from the fields, as before the records were kept.
        EXPECT_EQ(shown, app::photoRecords(model.snapshot())) << step.what;
        if (!shown.empty()) {
            EXPECT_EQ(model.record(model.photos()[0].url), shown[0]) << step.what;
        }
    }
}

// ---------------------------------------------------------------- output folder and watermark

TEST(AppModelOutput, ChosenFoldersAreRememberedAndDescribed) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg");
    const fs::path out = harness.dir / "out";
    fs::create_directories(out);
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), false));
    model.addLocations({harness.photos()});
    // The labels of each case are ControlsPane.DescribesTheOutputInItsFourCases'.
    harness.user->folderAnswers.push_back(out);
    EXPECT_TRUE(model.chooseOutputFolder(texts::chooseOutputFolder));
    EXPECT_EQ(model.configuration().outputRoot, out);
    EXPECT_TRUE(model.hasOutputAccess());
    EXPECT_FALSE(model.fileAccessMessage());
    EXPECT_TRUE(fs::exists(harness.dir / "folder-access.json"));
    EXPECT_EQ(model.outputDescription(), (app::OutputDescription{"out", out.string()}));
    model.saveAsNewPreset("To out");

    // A later start restores the permission that the preset's folder needs.
    AppModel& restarted = harness.make();
    EXPECT_EQ(restarted.configuration().outputRoot, out);
    EXPECT_TRUE(restarted.hasOutputAccess());
    restarted.resetOutputFolder();
    EXPECT_FALSE(restarted.configuration().outputRoot);

    ModelHarness forgetful;
    forgetful.withFolderAccessStore = false;
    AppModel& noStore = forgetful.make();
    forgetful.user->folderAnswers.push_back(out);
    EXPECT_TRUE(noStore.chooseOutputFolder(texts::chooseOutputFolder));
    EXPECT_EQ(noStore.fileAccessMessage(), texts::rememberFailed);
    forgetful.user->folderAnswers.push_back(std::nullopt);
    EXPECT_FALSE(noStore.chooseOutputFolder(texts::chooseOutputFolder));
}

TEST(AppModelWatermark, ImportedImagesTextAndMissingImages) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg");
    const fs::path logo = harness.dir / "logo.jpg";
    writeJpeg(logo, sized(20, 10));
    AppModel& model = harness.make();
    model.addLocations({harness.photos()});

    model.setWatermarkEnabled(true);
    EXPECT_EQ(model.configuration().watermark, settings::defaultWatermark());
    harness.user->watermarkAnswers.push_back(logo);
    model.chooseWatermarkImage();
    ASSERT_TRUE(model.configuration().watermark);
    const auto* id = model.configuration().watermark->source.imageValue();
    ASSERT_NE(id, nullptr);
    ASSERT_TRUE(model.watermarkImage());
    EXPECT_EQ(model.watermarkImage()->width, 20);
    EXPECT_EQ(model.watermarkImageName(), "logo.jpg");
    EXPECT_TRUE(model.canExport());

    harness.user->watermarkAnswers.push_back(harness.dir / "defaults.ini");
    model.chooseWatermarkImage();
    EXPECT_EQ(model.watermarkMessage(),
              storage::WatermarkStoreError::notAnImage(harness.dir / "defaults.ini").description());

    // A preset naming an image the store no longer has.
    edit(model, [](auto& c) {
        c.watermark->source = settings::WatermarkSource::image(settings::WatermarkImageID::fresh());
    });
    model.saveAsNewPreset("Lost logo");
    model.applyPreset(storage::timestampPresetID());
    model.applyPreset(model.presets().back().id);
    EXPECT_EQ(model.watermarkMessage(), texts::watermarkMissing);
    EXPECT_FALSE(model.watermarkImage());
    EXPECT_FALSE(model.watermarkImageName());
    EXPECT_EQ(model.configurationProblem(), settings::ConfigurationProblem::watermarkImageMissing);
    EXPECT_FALSE(model.canExport());

    model.useTextWatermark();
    EXPECT_EQ(model.configuration().watermark->source, settings::WatermarkSource::text(""));
    EXPECT_EQ(model.statusText(), "Enter watermark text or turn off the watermark");
    model.setWatermarkEnabled(false);
    EXPECT_FALSE(model.configuration().watermark);
    EXPECT_TRUE(model.canExport());
}

// ---------------------------------------------------------------- export

TEST(AppModelExport, FoldersNeedNoChosenFolderWhenTheirDestinationsAreWritable) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg");
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), false));
    model.addLocations({site});
    ASSERT_TRUE(model.canExport());

    QSignalSpy progress(&model, &AppModel::progressChanged);
    model.startExport();
    EXPECT_TRUE(model.isRunning());
    EXPECT_FALSE(model.canExport());
    ASSERT_TRUE(waitForExport(model));
    EXPECT_TRUE(harness.user->folderQuestions.empty());
    ASSERT_TRUE(model.summary());
    EXPECT_EQ(model.summary()->count(Kind::stamped), 2u);
    EXPECT_EQ(model.completedCount(), 2);
    EXPECT_EQ(model.totalCount(), 2);
    EXPECT_GE(progress.count(), 1);
    EXPECT_EQ(entryNames(site / "Timestamped"), (std::vector<std::string>{"a.jpg", "b.jpg"}));

    // Rediscovery starts a new round: the summary goes.
    model.rediscover();
    EXPECT_FALSE(model.summary());
}

TEST(AppModelExport, ASinglePhotoAsksForAFolderAndCancellingTheQuestionExportsNothing) {
    ModelHarness harness;
    const fs::path single = harness.photos() / "single.jpg";
    writeJpeg(single);
    const fs::path out = harness.dir / "out";
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), false));
    model.addLocations({single});

    model.startExport();
    EXPECT_EQ(harness.user->folderQuestions, std::vector<std::string>{texts::chooseOutputFolder});
    EXPECT_FALSE(model.isRunning());
    EXPECT_FALSE(model.summary());

    fs::create_directories(out);
    harness.user->folderAnswers.push_back(out);
    model.startExport();
    ASSERT_TRUE(waitForExport(model));
    ASSERT_TRUE(model.summary());
    EXPECT_EQ(model.summary()->results[0].outcome, exporting::FileOutcome::stamped(out / "single.jpg"));
    EXPECT_FALSE(fs::exists(harness.photos() / "Timestamped"));
}

TEST(AppModelExport, AHandoverPackageGetsItsFolderFirstAndItsReportsAfterwards) {
    ModelHarness harness;
    writeJpeg(harness.photos() / "a.jpg");
    writeJpeg(harness.photos() / "b.jpg", undated());
    const fs::path destination = harness.dir / "handover";
    fs::create_directories(destination);
    AppModel& model = harness.make();
    model.setConfiguration(withPackage(model.configuration(), true, "Bridge"));
    model.addLocations({harness.photos()});

    harness.user->folderAnswers.push_back(destination);
    QSignalSpy preparing(&model, &AppModel::preparingReportsChanged);
    model.startExport();
    EXPECT_EQ(harness.user->folderQuestions, std::vector<std::string>{texts::choosePackageFolder});
    ASSERT_TRUE(waitForExport(model));
    EXPECT_EQ(preparing.count(), 2);  // on while the reports are written, then off
    EXPECT_FALSE(model.isPreparingReports());

    const fs::path package = destination / "Veltrop - Bridge";
    ASSERT_TRUE(model.summary());
    ASSERT_TRUE(model.handoverResult());
    EXPECT_EQ(model.handoverResult()->root, package);
    EXPECT_FALSE(model.handoverResult()->error);
    EXPECT_EQ(entryNames(package / "Photos"), std::vector<std::string>{"a.jpg"});  // verified by PackageCheckView
    EXPECT_EQ(model.summary()->results[1].outcome, exporting::FileOutcome::skippedNoDate());

    // A second export never reuses the package.
    model.startExport();
    ASSERT_TRUE(waitForExport(model));
    EXPECT_EQ(model.handoverResult()->root, destination / "Veltrop - Bridge 2");
    EXPECT_EQ(harness.user->folderQuestions.size(), 1u);

    // A destination where no folder can be made ends the export before it starts.
    auto elsewhere = model.configuration();
    elsewhere.outputRoot = destination / "a-file";
    writeFile(*elsewhere.outputRoot, "x");
    model.setConfiguration(elsewhere);
    harness.user->folderAnswers.push_back(std::nullopt);
    model.startExport();
    EXPECT_FALSE(model.isRunning());
}

TEST(AppModelExport, CancelKeepUnfinishedAndExportTheRestWithTheSameReferences) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) writeJpeg(site / name);
    AppModel& model = harness.make();
    auto configuration = withPackage(model.configuration(), false);
    configuration.naming.template_ = "{reference}";
    model.setConfiguration(configuration);
    model.addLocations({site});
    model.setSelection(site / "a.jpg");

    // One photo at a time; the second one waits in flight until the test has cancelled.
    std::atomic<bool> secondStarted{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    model.setProcessorFactory([&, released] {
        return std::make_shared<exporting::BatchProcessor>(
            1, std::nullopt, [&, released](const exporting::StampPlan& plan, const exporting::StampJob& job) {
                if (plan.photo.url.filename() == "b.jpg") {
                    secondStarted = true;
                    released.wait();
                }
                return exporting::stampPhoto(plan, job);
            });
    });
    model.startExport();
    ASSERT_TRUE(waitFor([&] { return secondStarted.load(); }));
    model.cancel();
    release.set_value();
    ASSERT_TRUE(waitForExport(model));

    ASSERT_TRUE(model.summary());
    EXPECT_TRUE(model.summary()->wasCancelled);
    std::vector<Kind> outcomes;
    for (const auto& result : model.summary()->results) outcomes.push_back(result.outcome.kind);
    EXPECT_EQ(outcomes, (std::vector<Kind>{Kind::stamped, Kind::stamped, Kind::notProcessed, Kind::notProcessed}));
    EXPECT_EQ(entryNames(site / "Timestamped"), (std::vector<std::string>{"IMG-0001.jpg", "IMG-0002.jpg"}));

    model.keepUnfinishedPhotos();
    EXPECT_EQ(names(model.photos()), (std::vector<std::string>{"c.jpg", "d.jpg"}));
    EXPECT_EQ(model.selection(), site / "c.jpg");
    EXPECT_FALSE(model.summary());
    EXPECT_EQ(model.excludedCompletedPhotos(), (std::set<fs::path>{site / "a.jpg", site / "b.jpg"}));
    model.rediscover();
    EXPECT_EQ(names(model.photos()), (std::vector<std::string>{"c.jpg", "d.jpg"}));

    model.setProcessorFactory({[] { return std::make_shared<exporting::BatchProcessor>(4, std::nullopt); }});
    model.startExport();
    ASSERT_TRUE(waitForExport(model));
    ASSERT_TRUE(model.summary());
    EXPECT_EQ(model.summary()->count(Kind::stamped), 2u);
    EXPECT_EQ(model.summary()->results[0].record->reference, "IMG-0003");
    EXPECT_EQ(model.summary()->results[1].record->reference, "IMG-0004");
    EXPECT_EQ(entryNames(site / "Timestamped"),
              (std::vector<std::string>{"IMG-0001.jpg", "IMG-0002.jpg", "IMG-0003.jpg", "IMG-0004.jpg"}));
}

TEST(AppModelExport, AnUnwritableDefaultDestinationAsksForAWritableFolder) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeFile(site / "Timestamped", "a file where the folder would go");
    AppModel& model = harness.make();
    auto configuration = withPackage(model.configuration(), false);
    configuration.timestampEnabled = false;
    configuration.watermark = settings::defaultWatermark();
    configuration.watermark->source = settings::WatermarkSource::text("ACME");
    model.setConfiguration(configuration);
    model.addLocations({site});
    EXPECT_EQ(model.exportButtonTitle(), "Add Watermarks");

    EXPECT_FALSE(model.prepareOutput());
    EXPECT_EQ(harness.user->folderQuestions, std::vector<std::string>{texts::chooseWritableFolder});
    const fs::path out = harness.dir / "out";
    fs::create_directories(out);
    harness.user->folderAnswers.push_back(out);
    model.startExport();
    ASSERT_TRUE(waitForExport(model));
    EXPECT_EQ(entryNames(out), std::vector<std::string>{"a.jpg"});
}

// ---------------------------------------------------------------- construction

TEST(AppModelConstruction, TheStandardStoresLiveInTheDataFolder) {
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    ASSERT_FALSE(data.isEmpty());
    const fs::path folder = fs::path(data.toStdString()) / "Veltrop";
    {
        AppModel model;
        EXPECT_TRUE(model.hasPresetStore());
        EXPECT_TRUE(model.hasWatermarkStore());
        EXPECT_TRUE(model.hasFolderAccessStore());
        EXPECT_EQ(model.presets(), storage::builtIns());
    }
    EXPECT_TRUE(fs::exists(folder / "presets.json"));
}
