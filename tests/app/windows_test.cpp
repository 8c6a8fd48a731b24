#include <QApplication>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/ui/content_view.h"
#include "app/ui/help_view.h"
#include "app/ui/veltrop_app.h"
#include "app/ui/qt_text.h"
#include "app_test_support.h"
#include "kit/storage/preset_store.h"

using namespace veltrop;
using veltrop::app::AppModel;
using veltrop::app::ContentView;
using veltrop::app::qs;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

QStringList columnTexts(const QTreeView* list, int column) {
    QStringList texts;
    const QAbstractItemModel* rows = list->model();
    for (int i = 0; i < rows->rowCount(); ++i) texts << rows->index(i, column).data().toString();
    return texts;
}

// Two dated photos and one without a date in one folder.
fs::path threePhotos(ModelHarness& harness) {
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg", byCamera("Field Cam"));
    writeJpeg(site / "c.jpg", undated());
    return site;
}

}  // namespace

// ---------------------------------------------------------------- main window

TEST(ContentView, DroppedFilesAndFoldersJoinTheBatch) {
    ModelHarness harness;
    const fs::path site = threePhotos(harness);
    const fs::path single = harness.photos() / "single.jpg";
    writeJpeg(single);
    AppModel& model = harness.make();
    ContentView view(model);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(app::qpath(site)), QUrl::fromLocalFile(app::qpath(single)),
                  QUrl(QStringLiteral("https://example.org/photo.jpg"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(view.dropZone()->isHighlighted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drop);
    EXPECT_FALSE(view.dropZone()->isHighlighted());
    EXPECT_EQ(model.droppedRoots().size(), 2u);
    EXPECT_EQ(model.photos().size(), 4u);
}

TEST(FormatPicker, WarnsAboutCharactersTheRetroDisplayCannotShow) {
    ModelHarness harness;
    AppModel& model = harness.make();
    ContentView view(model);
    auto* picker = view.controls()->formatPicker();
    EXPECT_TRUE(picker->retroWarning().isEmpty());

    picker->formatBox()->setCurrentIndex(picker->formatBox()->count() - 1);
    EXPECT_TRUE(model.usingCustomFormat());
    picker->patternField()->setText(QStringLiteral("dd MMM yyyy"));
    emit picker->patternField()->textEdited(picker->patternField()->text());
    EXPECT_EQ(model.configuration().format.pattern, "dd MMM yyyy");
    EXPECT_TRUE(picker->retroWarning().isEmpty());

    view.controls()->themeBox()->setCurrentIndex(1);
    EXPECT_EQ(model.retroUnsupportedCharacters(), "Aug");
    EXPECT_EQ(picker->retroWarning(), qs("The retro display cannot show \u201C" "Aug" "\u201D. Choose a numeric format."));
    EXPECT_FALSE(view.exportButton()->isEnabled());

    // A preset keeps the custom pattern; a built-in format is no custom one.
    model.saveAsNewPreset("Mine");
    model.applyPreset(storage::timestampPresetID());
    EXPECT_FALSE(model.usingCustomFormat());
    model.applyPreset(model.presets().back().id);
    EXPECT_TRUE(model.usingCustomFormat());
    EXPECT_EQ(model.customPattern(), "dd MMM yyyy");
    model.chooseFormat(settings::builtInFormats()[1]);
    EXPECT_EQ(model.configuration().format, settings::builtInFormats()[1]);
    EXPECT_FALSE(model.usingCustomFormat());
}

TEST(ControlsPane, DescribesTheOutputInItsFourCases) {
    ModelHarness harness;
    const fs::path site = threePhotos(harness);
    const fs::path single = harness.photos() / "single.jpg";
    writeJpeg(single);
    const fs::path out = harness.dir / "Deliveries";
    fs::create_directories(out);
    AppModel& model = harness.make();
    ContentView view(model);
    auto label = [&] { return view.destination()->outputLabel()->text(); };
    auto explanation = [&] { return view.controls()->outputExplanation()->text(); };

    EXPECT_EQ(label(), "Choose a folder for the handover package");
    EXPECT_FALSE(view.destination()->resetButton()->isEnabled());

    // The export button's title follows the package box too (each title's rule is AppModel's).
    model.setConfiguration(withPackage(model.configuration(), false));
    EXPECT_EQ(view.exportButton()->text(), "Add Timestamps");
    model.addLocations({site});
    EXPECT_EQ(label(), "Timestamped/ beside the originals");
    model.addLocations({single});
    EXPECT_EQ(label(), "Choose an output folder when exporting");

    harness.user->folderAnswers.push_back(out);
    ASSERT_TRUE(model.chooseOutputFolder(app::modelTexts::chooseOutputFolder));
    EXPECT_EQ(label(), "Deliveries");
    EXPECT_EQ(explanation(), app::qpath(out));
    EXPECT_TRUE(view.destination()->resetButton()->isEnabled());

    view.destination()->packageBox()->setChecked(true);
    EXPECT_EQ(view.exportButton()->text(), "Export handover package");
    EXPECT_EQ(label(), "New handover folder in Deliveries");
    EXPECT_EQ(explanation(), "Each export creates a new handover folder inside " + app::qpath(out) + ".");

    view.destination()->resetButton()->click();
    EXPECT_EQ(label(), "Choose a folder for the handover package");
}

// ---------------------------------------------------------------- results

// A batch with a failure is ResultsView.AnExportWithAFailureOffersToKeepTheUnfinishedPhotos'.
TEST(ResultsView, HeadlinesAndCountsFollowTheSummary) {
    using Outcome = exporting::FileOutcome;
    struct Case {
        std::vector<Outcome> outcomes;
        bool cancelled;
        QString headline;
        QStringList counts;
        bool keepUnfinished;
    };
    const Case cases[] = {
        {{Outcome::stamped("/o/a.jpg"), Outcome::stamped("/o/b.jpg")}, false, "Export finished", {"2 of 2 exported"}, false},
        {{Outcome::skippedNoDate()}, false, "Nothing was exported", {"1 skipped with no capture date"}, false},
        {{Outcome::stamped("/o/a.jpg"), Outcome::notProcessed(), Outcome::notProcessed()},
         true, "Export cancelled", {"1 of 3 exported", "2 not processed"}, true},
    };
    ModelHarness harness;
    AppModel& model = harness.make();
    for (const Case& c : cases) {
        app::IdentifiedSummary presented;
        presented.summary.wasCancelled = c.cancelled;
        presented.summary.outputRoots = {"/o"};
        char name = 'a';
        for (const Outcome& outcome : c.outcomes)
            presented.summary.results.push_back({fs::path("/in") / (std::string(1, name++) + ".jpg"), outcome, {}});
        app::ResultsView view(model, presented, nullptr);
        EXPECT_EQ(view.headline(), c.headline);
        EXPECT_EQ(view.countLines(), c.counts);
        EXPECT_EQ(view.button("Keep unfinished photos") != nullptr, c.keepUnfinished) << c.headline.toStdString();
        ASSERT_TRUE(view.button(qs("Reveal copies in \u201Co\u201D")));
        EXPECT_EQ(view.button(qs("Reveal copies in \u201Co\u201D"))->accessibleName(), "Reveal output folder /o");
    }
}

TEST(ResultsView, AnExportWithAFailureOffersToKeepTheUnfinishedPhotos) {
    ModelHarness harness;
    const fs::path site = threePhotos(harness);
    writeJpeg(site / "broken.jpg");
    AppModel& model = harness.make();
    model.setProcessorFactory([] {
        return std::make_shared<exporting::BatchProcessor>(
            4, std::nullopt, [](const exporting::StampPlan& plan, const exporting::StampJob& job) {
                if (plan.photo.url.filename() == "broken.jpg")
                    return exporting::FileOutcome::failed(exporting::UnexpectedFailure{"Could not decode broken.jpg"});
                return exporting::stampPhoto(plan, job);
            });
    });
    ContentView view(model);
    model.setConfiguration(withPackage(model.configuration(), false));
    model.addLocations({site});
    ASSERT_EQ(model.photos().size(), 4u);

    view.exportButton()->click();
    ASSERT_TRUE(waitForExport(model));
    ASSERT_TRUE(waitFor([&] { return view.results() != nullptr; }));
    app::ResultsView* results = view.results();
    EXPECT_EQ(results->headline(), "Export finished with failures");
    EXPECT_EQ(results->countLines(),
              (QStringList{"2 of 4 exported", "1 skipped with no capture date", "1 failed"}));
    EXPECT_TRUE(results->failuresText().contains("broken.jpg"));
    QPushButton* keep = results->button("Keep unfinished photos");
    ASSERT_TRUE(keep);
    EXPECT_EQ(keep->toolTip(), qs(app::resultsTexts::keepHelp));
    keep->click();
    EXPECT_FALSE(model.summary());
    ASSERT_EQ(model.photos().size(), 1u);
    EXPECT_EQ(model.photos()[0].url.filename(), "broken.jpg");
    EXPECT_EQ(view.photoList()->rows()->rowCount(), 1);
}

// ---------------------------------------------------------------- presets

TEST(PresetBar, MenuSaveAsDeleteAndTheCustomLabel) {
    ModelHarness harness;
    AppModel& model = harness.make();
    ContentView view(model);
    app::PresetBar* bar = view.controls()->presetBar();
    const auto builtIns = static_cast<qsizetype>(storage::builtIns().size());
    EXPECT_EQ(bar->presetMenu()->actions().size(), builtIns);
    EXPECT_EQ(bar->picker()->text(), "Timestamp");

    // Choosing the second preset applies it.
    bar->presetMenu()->actions().at(1)->trigger();
    EXPECT_EQ(model.selectedPresetID(), storage::builtIns()[1].id);
    EXPECT_EQ(bar->picker()->text(), qs(storage::builtIns()[1].name));
    view.controls()->timestampBox()->toggle();
    EXPECT_EQ(bar->picker()->text(), qs(storage::builtIns()[1].name + " (modified)"));

    bar->askSaveAs();
    EXPECT_TRUE(bar->showingSaveAs());
    auto* sheet = qobject_cast<app::NameSheet*>(bar->openSheet());
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    sheet->nameField()->setText(QStringLiteral("  Bridge  "));
    sheet->saveButton()->click();
    EXPECT_FALSE(bar->showingSaveAs());
    EXPECT_EQ(bar->picker()->text(), "Bridge");
    EXPECT_EQ(bar->presetMenu()->actions().size(), builtIns + 1);

    bar->askDelete();
    EXPECT_TRUE(bar->showingDeleteConfirm());
    auto* confirm = qobject_cast<QMessageBox*>(bar->openSheet());
    ASSERT_TRUE(confirm);
    QAbstractButton* remove = nullptr;
    for (QAbstractButton* button : confirm->buttons())
        if (button->text() == "Delete") remove = button;
    ASSERT_TRUE(remove);
    remove->click();
    EXPECT_EQ(bar->picker()->text(), "Custom");
    EXPECT_FALSE(bar->action("Delete")->isEnabled());
    EXPECT_FALSE(bar->action("Rename preset")->isEnabled());
}

TEST(PresetBar, ANewerPresetsFileIsRecoveredOnlyAfterConfirmation) {
    ModelHarness harness;
    const fs::path file = harness.dir / "store" / "presets.json";
    writeFile(file, R"({"version": 3, "presets": []})");
    AppModel& model = harness.make(std::make_shared<storage::PresetStore>(file));
    ContentView view(model);
    app::PresetBar* bar = view.controls()->presetBar();
    EXPECT_FALSE(bar->recoveryText().isEmpty());
    EXPECT_TRUE(bar->recoverButton()->isVisibleTo(bar));
    EXPECT_FALSE(bar->message().isEmpty());
    for (const char* title : {"Save", "Save preset as", "Rename preset", "Delete", "Restore built-ins"})
        EXPECT_FALSE(bar->action(title)->isEnabled()) << title;
    EXPECT_FALSE(bar->backupButton()->isVisibleTo(bar));

    // Cancelling keeps the file as it was.
    bar->recoverButton()->click();
    auto* question = qobject_cast<QMessageBox*>(bar->openSheet());
    ASSERT_TRUE(question);
    question->reject();
    EXPECT_TRUE(model.presetsNeedRecovery());

    bar->askRecovery();
    question = qobject_cast<QMessageBox*>(bar->openSheet());
    ASSERT_TRUE(question);
    for (QAbstractButton* button : question->buttons())
        if (button->text() == qs(app::presetTexts::recoveryConfirm)) button->click();
    EXPECT_FALSE(model.presetsNeedRecovery());
    EXPECT_TRUE(bar->recoveryText().isEmpty());
    EXPECT_FALSE(bar->recoverButton()->isVisibleTo(bar));
    EXPECT_TRUE(bar->backupButton()->isVisibleTo(bar));
    EXPECT_TRUE(bar->action("Save preset as")->isEnabled());
    bar->backupButton()->click();
    ASSERT_EQ(harness.user->revealed.size(), 1u);
    EXPECT_EQ(harness.user->revealed[0], std::vector<fs::path>{*model.presetBackupURL()});
}

// ---------------------------------------------------------------- date review

TEST(DateReviewView, ValidatesTheCorrectionFormAndExplainsADisabledButton) {
    ModelHarness harness;
    const fs::path site = threePhotos(harness);
    AppModel& model = harness.make();
    model.addLocations({site});
    app::DateReviewView review(model, nullptr);
    EXPECT_EQ(review.headerText(), qs("3 photos  \u00b7  1 need attention"));
    const QString shiftProblem = QStringLiteral("Use a total shift within 366 days in either direction.");

    // Nothing entered yet: a zero shift is no rule (which totals are allowed is DateCorrection's).
    EXPECT_FALSE(review.applyButton()->isEnabled());
    EXPECT_EQ(review.disabledReason(), shiftProblem);

    review.daysBox()->setValue(-1);
    EXPECT_TRUE(review.applyButton()->isEnabled());
    EXPECT_TRUE(review.disabledReason().isEmpty());

    review.kindBox()->setCurrentIndex(1);
    review.suppliedField()->setText(QStringLiteral("2026-02-30 12:00:00"));
    EXPECT_FALSE(review.applyButton()->isEnabled());
    EXPECT_EQ(review.disabledReason(), "Enter a valid date as YYYY-MM-DD HH:MM:SS.");

    // A shift applied once cannot be applied again.
    review.kindBox()->setCurrentIndex(0);
    review.daysBox()->setValue(0);
    review.hoursBox()->setValue(1);
    review.selectPhoto(site / "a.jpg");
    EXPECT_EQ(review.whatIfText(), qs("Will use 2024-05-14 10:30:15  \u00b7  Corrected"));
    review.applyButton()->click();
    ASSERT_EQ(model.corrections().size(), 1u);
    EXPECT_FALSE(review.applyButton()->isEnabled());
    EXPECT_EQ(review.disabledReason(), "This correction is already applied, or cannot resolve the selected dates.");
    EXPECT_EQ(review.appliedTexts(), QStringList{qs("Clock correction +1 h \u2014 All photos")});

    // A shift cannot date a photo without a date.
    review.selectPhoto(site / "c.jpg");
    review.scopeBox()->setCurrentIndex(review.scopeBox()->count() - 1);
    EXPECT_EQ(review.whatIfText(), "A clock shift needs an existing date. Supply a date for these photos.");
    EXPECT_EQ(review.rawFieldsText(), "c.jpg\nNo recorded date");
    EXPECT_FALSE(review.applyButton()->isEnabled());
}

TEST(DateReviewView, RowsFollowTheRecordsWithoutAResetAndFilter) {
    ModelHarness harness;
    const fs::path site = threePhotos(harness);
    AppModel& model = harness.make();
    model.addLocations({site});
    app::DateReviewView review(model, nullptr);
    review.selectPhoto(site / "b.jpg");
    QSignalSpy resets(review.rows(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(review.rows(), &QAbstractItemModel::dataChanged);

    // A title changes no row; a shift changes the two dated ones in place.
    auto configuration = model.configuration();
    configuration.project->title = "North bridge";
    model.setConfiguration(configuration);
    EXPECT_EQ(changes.count(), 0);
    model.applyCorrection(shiftRule(records::DateCorrectionScope::all(), 3600));
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changes[0][1].toModelIndex().row(), 1);

    const auto& shown = model.records();
    ASSERT_EQ(review.rows()->rowCount(), static_cast<int>(shown.size()));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(columnTexts(review.table(), 0).value(row), qs(shown[i].sourceName));
        EXPECT_EQ(review.rows()->index(row, 0).data(Qt::ToolTipRole).toString(), qs(shown[i].sourcePath));
    }
    EXPECT_EQ(columnTexts(review.table(), 2).value(0), qs("2024-05-14 10:30:15  \u00b7  Corrected"));
    EXPECT_EQ(columnTexts(review.table(), 2).value(2), "Still has no date");
    EXPECT_EQ(columnTexts(review.table(), 3).value(2), "No recorded capture date");
    EXPECT_EQ(review.table()->currentIndex().row(), 1);

    // Filters, and the range warning.
    review.setFilter(app::ReviewFilter::needsAttention);
    EXPECT_EQ(columnTexts(review.table(), 0), QStringList{"c.jpg"});
    model.removeCorrection(model.corrections().front().id);
    review.setFilter(app::ReviewFilter::corrected);
    EXPECT_EQ(review.rows()->rowCount(), 0);
    EXPECT_EQ(review.emptyText(), "No photos match this filter.");
    model.setExpectedRangeEnabled(true);
    model.setExpectedStart(QDate(2024, 5, 20));
    model.setExpectedEnd(QDate(2024, 5, 1));
    EXPECT_EQ(review.rangeWarning(), "Choose an end date on or after the start date.");
}

// ---------------------------------------------------------------- help

TEST(HelpView, NamesThisSystemsPlacesAndNoOtherSystems) {
    app::HelpView view(app::HelpLinks{});
    const QString text = view.plainText();
    EXPECT_TRUE(text.contains("cannot check for updates"));
    // Where things are kept on this system.
    app::HelpLinks configured;
    configured.updatesConfigured = true;
    configured.locations = {QStringLiteral("~/.config/Veltrop"), QStringLiteral("~/.local/share/Veltrop")};
    const QString here = app::HelpView(configured).plainText();
    EXPECT_FALSE(here.contains("cannot check for updates"));
    EXPECT_TRUE(here.contains("its settings in ~/.config/Veltrop"));
    EXPECT_TRUE(here.contains("remembered output folder in ~/.local/share/Veltrop"));
    for (const QString& shown : {text, here})
        for (const char* foreign : {"Mac", "Finder", "renewing", "private storage", "permission"})
            EXPECT_FALSE(shown.contains(foreign)) << foreign;
}

// ---------------------------------------------------------------- application

TEST(VeltropApp, MenusAndTheRememberedWindowSizeAndSplitters) {
    ModelHarness harness;
    auto settings = std::make_shared<QSettings>(app::qpath(harness.dir / "layout.ini"), QSettings::IniFormat);
    auto makeApp = [&] {
        app::VeltropApp::Parts parts;
        parts.model = std::make_unique<AppModel>(app::AppStores{}, harness.defaults, harness.user);
        parts.interaction = harness.user;
        parts.settings = settings;
        parts.updater = std::make_unique<app::Updater>(QUrl(), QStringLiteral("1.0.0"), settings, app::Updater::Fetch());
        return std::make_unique<app::VeltropApp>(std::move(parts));
    };
    {
        auto first = makeApp();
        first->show();
        first->mainWindow().resize(1100, 700);
        first->content().mainSplitter()->setSizes({420, 680});
        EXPECT_FALSE(first->checkForUpdatesAction()->isEnabled());
        first->mainWindow().close();
    }
    auto second = makeApp();
    second->show();
    EXPECT_EQ(second->mainWindow().size(), QSize(1100, 700));
    EXPECT_EQ(second->content().mainSplitter()->sizes().front(), 420);

    QStringList items;
    for (QMenu* menu : second->mainWindow().menuBar()->findChildren<QMenu*>())
        for (QAction* action : menu->actions()) items << action->text();
    EXPECT_TRUE(items.contains(qs("Choose Photos\u2026")));
    EXPECT_TRUE(items.contains("&About Veltrop"));
    QPushButton* chooseFolder = second->content().dropZone()->chooseFolderButton();
    writeJpeg(harness.photos() / "site" / "a.jpg");
    harness.user->folderPhotoAnswers.push_back(harness.photos() / "site");
    chooseFolder->click();
    EXPECT_EQ(second->model().photos().size(), 1u);
}
