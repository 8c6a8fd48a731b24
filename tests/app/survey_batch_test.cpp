// The application with a survey day's batch: thousands of photos chosen one
// by one, export states that explain themselves, the photo list, the date
// review's range and the smaller windows.

#include <sys/resource.h>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <set>

#include "app/ui/about_view.h"
#include "app/ui/content_view.h"
#include "app/ui/qt_text.h"
#include "app/ui/qt_user_interaction.h"
#include "app/ui/veltrop_app.h"
#include "app_test_support.h"
#include "kit/handover/package_result.h"

using namespace veltrop;
using veltrop::app::AppModel;
using veltrop::app::ContentView;
using veltrop::app::qs;
using namespace veltrop::testing;
using Column = veltrop::app::PhotoTableModel::Column;
namespace fs = std::filesystem;

namespace {

// Lowers this process's limit of open files for as long as it lives.
class HandleLimit {
public:
    explicit HandleLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~HandleLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    static rlim_t current() {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        return limit.rlim_cur;
    }

private:
    rlimit saved_{};
};

}  // namespace

// ---------------------------------------------------------------- many photos, few handles

TEST(SurveyBatch, TenThousandPhotosChosenOneByOneNeedNoHandleEach) {
    ModelHarness harness;
    const fs::path day = harness.photos() / "day";
    std::vector<fs::path> files{day / "IMG_00000.jpg"};
    writeJpeg(files.front(), taken("2024:05:14 09:30:15", "Field Cam"));
    for (int i = 1; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
        files.push_back(day / name);
        // Links, not copies: the test is about paths and handles, and links are quick to make.
        fs::create_hard_link(files.front(), files.back());
    }
    AppModel& model = harness.make();
    ContentView view(model);

    const HandleLimit limit(256);
    ASSERT_LT(HandleLimit::current(), files.size() / 10);
    const std::size_t before = openHandleCount();
    view.addLocations(files);

    ASSERT_EQ(model.photos().size(), files.size());
    EXPECT_FALSE(model.fileAccessMessage()) << *model.fileAccessMessage();
    EXPECT_EQ(model.droppedRoots().size(), files.size());
    // Every metadata read worked: each photo has its recorded date and camera.
    EXPECT_EQ(model.undatedCount(), 0u);
    EXPECT_EQ(view.photoList()->columnTexts(Column::cameraColumn).count(QStringLiteral("Field Cam")), 10000);
    EXPECT_LE(openHandleCount(), before + 8);
    EXPECT_EQ(view.statusText(), "Will stamp 10000 photos");

    // Discovery again, with all of them in the batch.
    model.rediscover();
    EXPECT_EQ(model.photos().size(), files.size());
    EXPECT_LE(openHandleCount(), before + 8);
}

// ---------------------------------------------------------------- export states

TEST(ExportReadiness, ReasonsComeInTheStatusLineOrder) {
    using app::ExportFacts;
    const auto nothingToStamp = settings::ConfigurationProblem::nothingToDraw;
    struct Case {
        ExportFacts facts;
        std::optional<std::string> reason;
    };
    const Case cases[] = {
        {{false, 0, 0, nothingToStamp, "ABC", true}, "Add photos to begin"},
        {{false, 3, 0, nothingToStamp, "ABC", true},
         "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical"},
        {{false, 3, 0, std::nullopt, "ABC", true},
         "The retro display cannot show \u201C" "ABC" "\u201D. Choose a numeric format."},
        {{false, 3, 0, std::nullopt, "", true}, "The project end date must be after its start date"},
        {{false, 3, 0, std::nullopt, "", false}, "No photos with a usable capture date"},
        {{false, 3, 2, std::nullopt, "", false}, std::nullopt},
        {{true, 3, 2, std::nullopt, "", false}, "An export is running"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::exportBlockedReason(c.facts), c.reason);
        EXPECT_EQ(app::statusText(c.facts), c.reason.value_or("Will stamp 2 photos, skipping 1"));
    }
}

// The order of the reasons is ExportReadiness.ReasonsComeInTheStatusLineOrder's, and
// the model's facts for each are AppModel's; here reasons reach the status line, the button and its tooltip.
TEST(ExportReadiness, TheStatusLineAndTheButtonSayWhyAnExportCannotStart) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg", undated());
    const fs::path undatedOnly = harness.photos() / "undated";
    writeJpeg(undatedOnly / "c.jpg", undated());
    AppModel& model = harness.make();
    ContentView view(model);
    const settings::StampConfiguration original = model.configuration();

    // The empty window says what to do, without a warning.
    EXPECT_TRUE(view.showsDropZone());
    EXPECT_EQ(view.statusText(), "Add photos to begin");
    EXPECT_FALSE(view.statusIsWarning());
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_EQ(view.exportButton()->toolTip(), "Add photos to begin");

    model.addLocations({site});
    EXPECT_FALSE(view.showsDropZone());
    EXPECT_TRUE(view.exportButton()->isEnabled());
    EXPECT_EQ(view.statusText(), "Will stamp 1 photo, skipping 1");
    EXPECT_FALSE(view.statusIsWarning());

    auto retro = original;
    retro.style.theme = settings::StampTheme::retro;
    retro.format = settings::StampFormat{"Custom", "d MMM yyyy"};
    model.setConfiguration(retro);
    const QString reason = view.controls()->formatPicker()->retroWarning();
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_EQ(view.statusText(), reason);
    EXPECT_EQ(view.exportButton()->toolTip(), reason);
    EXPECT_TRUE(view.statusIsWarning());
    model.setConfiguration(original);

    model.clearBatch();
    EXPECT_TRUE(view.showsDropZone());
    model.addLocations({undatedOnly});
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_EQ(view.exportButton()->toolTip(), "No photos with a usable capture date");
}

// The boxes of the settings pane and the configuration follow each other.
TEST(ControlsPane, ReferenceNumbersStartAtOneAndWriteDatesIsOffUntilChecked) {
    ModelHarness harness;
    AppModel& model = harness.make();
    ContentView view(model);
    EXPECT_EQ(view.controls()->firstNumberBox()->minimum(), 1);

    QCheckBox* box = view.controls()->writeDatesBox();
    EXPECT_EQ(box->text(), "Write corrected dates into the copies");
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(model.configuration().writeCorrectedDates);
    edit(model, [](auto& c) { c.writeCorrectedDates = false; });
    EXPECT_FALSE(box->isChecked());
}

TEST(ContentView, ThePackageChoiceAndTheDestinationSitBesideTheExportButton) {
    ModelHarness harness;
    AppModel& model = harness.make();
    ContentView view(model);
    view.resize(1280, 800);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (QWidget* control : std::initializer_list<QWidget*>{
             view.destination()->packageBox(), view.destination()->outputLabel(), view.destination()->chooseButton()}) {
        EXPECT_FALSE(view.controls()->isAncestorOf(control));
        EXPECT_TRUE(control->isVisible());
        const QRect shown(control->mapTo(&view, QPoint(0, 0)), control->size());
        EXPECT_TRUE(view.rect().contains(shown)) << control->metaObject()->className();
    }
    // One heading style in the settings pane: no heading in capitals only.
    for (QLabel* label : view.controls()->findChildren<QLabel*>()) {
        const QString text = label->text();
        if (label->font().bold() && text.size() > 1) {
            EXPECT_NE(text, text.toUpper()) << text.toStdString();
        }
    }
}

TEST(ContentView, NeedAttentionOpensTheReviewOnThosePhotos) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg", undated());
    writeJpeg(site / "c.jpg", undated());
    AppModel& model = harness.make();
    ContentView view(model);
    model.addLocations({site});
    EXPECT_EQ(view.attentionText(), "2 need attention");
    view.attentionButton()->click();
    ASSERT_TRUE(view.dateReview());
    EXPECT_TRUE(model.showDateReview());
    EXPECT_EQ(view.dateReview()->filterBox()->currentText(), "Needs attention");
    QStringList shown;
    for (const auto& row : view.dateReview()->rows()->rows()) shown << row.name;
    EXPECT_EQ(shown, (QStringList{"b.jpg", "c.jpg"}));
}

// ---------------------------------------------------------------- photo list

TEST(PhotoListView, ShowsDatesAndCamerasAndSortsByEachColumn) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "IMG_10.jpg", taken("2024:05:14 09:30:15", "Field Cam"));
    writeJpeg(site / "IMG_2.jpg", taken("2024:05:13 17:00:00", "Drone"));
    writeJpeg(site / "IMG_3.jpg", undated());
    AppModel& model = harness.make();
    model.addLocations({site});
    app::PhotoListView list(model, nullptr, std::make_unique<app::ThumbnailCache>([](const fs::path&, int) {
                                return QImage();
                            }));

    const QStringList batchOrder = list.columnTexts(Column::nameColumn);
    auto row = [&](const QString& name) { return batchOrder.indexOf(name); };
    EXPECT_EQ(list.columnTexts(Column::dateColumn).at(row("IMG_10.jpg")), "2024-05-14 09:30:15");
    EXPECT_EQ(list.columnTexts(Column::cameraColumn).at(row("IMG_2.jpg")), "Drone");
    EXPECT_EQ(list.columnTexts(Column::sourceColumn).at(row("IMG_3.jpg")), "No date");
    EXPECT_EQ(list.columnTexts(Column::dateColumn).at(row("IMG_3.jpg")), "");
    EXPECT_EQ(list.undatedWarning(), "1 photo without a recorded capture date");

    list.table()->sortByColumn(Column::nameColumn, Qt::AscendingOrder);
    EXPECT_EQ(list.columnTexts(Column::nameColumn), (QStringList{"IMG_2.jpg", "IMG_3.jpg", "IMG_10.jpg"}));
    // Photos without a date stay last either way.
    list.table()->sortByColumn(Column::dateColumn, Qt::AscendingOrder);
    EXPECT_EQ(list.columnTexts(Column::nameColumn), (QStringList{"IMG_2.jpg", "IMG_10.jpg", "IMG_3.jpg"}));
    list.table()->sortByColumn(Column::dateColumn, Qt::DescendingOrder);
    EXPECT_EQ(list.columnTexts(Column::nameColumn), (QStringList{"IMG_10.jpg", "IMG_2.jpg", "IMG_3.jpg"}));
    list.table()->sortByColumn(Column::cameraColumn, Qt::AscendingOrder);
    EXPECT_EQ(list.columnTexts(Column::cameraColumn), (QStringList{"Drone", "Field Cam", ""}));

    // Selecting a sorted row selects its photo; a correction keeps the order and the selection.
    list.table()->selectRow(0);
    EXPECT_EQ(model.selection(), site / "IMG_2.jpg");
    model.applyCorrection(shiftRule(records::DateCorrectionScope::camera("Drone"), 86400));
    list.sync();
    EXPECT_EQ(list.columnTexts(Column::dateColumn).at(0), "2024-05-14 17:00:00");
    EXPECT_EQ(list.table()->currentIndex().row(), 0);

    // Each source of a date has its own words.
    EXPECT_EQ(list.columnTexts(Column::sourceColumn), (QStringList{"Corrected", "EXIF capture date", "No date"}));
    list.fileDatesBox()->setChecked(true);
    EXPECT_TRUE(model.configuration().useFileDateFallback);
    list.sync();
    EXPECT_EQ(list.columnTexts(Column::sourceColumn).at(2), "File date");
}

TEST(ThumbnailCache, DecodesOffTheGuiThreadOnceAndOnlyForRowsShown) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "IMG_0.jpg", sized(200, 100));
    for (int i = 1; i < 300; ++i)
        fs::copy_file(site / "IMG_0.jpg", site / ("IMG_" + std::to_string(i) + ".jpg"));
    AppModel& model = harness.make();
    model.addLocations({site});

    std::mutex mutex;
    std::map<fs::path, int> decoded;
    bool onGuiThread = false;
    QThread* gui = QThread::currentThread();
    auto cache = std::make_unique<app::ThumbnailCache>([&](const fs::path& photo, int size) {
        {
            const std::lock_guard lock(mutex);
            ++decoded[photo];
            onGuiThread = onGuiThread || QThread::currentThread() == gui;
        }
        return app::ThumbnailCache::decode(photo, size);
    });
    app::ThumbnailCache& thumbnails = *cache;
    app::PhotoListView list(model, nullptr, std::move(cache));
    list.resize(500, 400);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    ASSERT_TRUE(waitFor([&] {
        const std::lock_guard lock(mutex);
        return thumbnails.idle() && !decoded.empty();
    }));
    QApplication::processEvents();

    const std::lock_guard lock(mutex);
    EXPECT_FALSE(onGuiThread);
    EXPECT_LT(decoded.size(), 40u) << "only the rows in view are decoded";
    for (const auto& [photo, count] : decoded) EXPECT_EQ(count, 1) << photo;
    // The kit's decoder, no larger than asked: the 200 x 100 photo fills the
    // middle 80 x 40 of a transparent 80 x 80 square.
    const QImage first = thumbnails.thumbnail(site / "IMG_0.jpg");
    const int side = app::ThumbnailCache::defaultPixelSize;
    ASSERT_EQ(first.size(), QSize(side, side));
    for (const auto& [y, alpha] : {std::pair{0, 0}, {side / 4 - 2, 0}, {side / 4 + 2, 255}, {side * 3 / 4 - 2, 255},
                                   {side - 1, 0}})
        EXPECT_EQ(qAlpha(first.pixel(side / 2, y)), alpha) << "row " << y;
    const QModelIndex firstRow = list.sorted()->index(0, Column::nameColumn);
    EXPECT_FALSE(firstRow.data(Qt::DecorationRole).value<QIcon>().isNull());
}

// ---------------------------------------------------------------- date review range

TEST(DateReviewView, RangePickersAreWholeDaysStartingAtTheBatchsDays) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "early.jpg", taken("2024:05:14 00:00:05"));
    writeJpeg(site / "late.jpg", taken("2024:05:15 23:30:00"));
    writeJpeg(site / "next.jpg", taken("2024:05:16 08:00:00"));
    AppModel& model = harness.make();
    model.addLocations({site});
    app::DateReviewView review(model, nullptr);

    EXPECT_EQ(review.fromPicker()->date(), QDate(2024, 5, 14));
    EXPECT_EQ(review.toPicker()->date(), QDate(2024, 5, 16));
    model.setExpectedRangeEnabled(true);
    ASSERT_TRUE(model.expectedRange());
    EXPECT_EQ(dates::text(model.expectedRange()->start), "2024-05-14 00:00:00");
    EXPECT_EQ(dates::text(model.expectedRange()->end), "2024-05-16 23:59:59");
    EXPECT_EQ(model.needsAttentionCount(), 0u);

    // The last day counts to its end; the day after is outside.
    review.toPicker()->setDate(QDate(2024, 5, 15));
    std::vector<std::string> outside;
    for (const auto& record : model.records())
        if (records::needsAttention(record)) outside.push_back(record.sourceName);
    EXPECT_EQ(outside, std::vector<std::string>{"next.jpg"});
    EXPECT_EQ(dates::text(model.expectedRange()->end), "2024-05-15 23:59:59");

    // Chosen days stay while the check is on.
    model.applyCorrection(shiftRule(records::DateCorrectionScope::all(), 86400 * 3));
    EXPECT_EQ(review.toPicker()->date(), QDate(2024, 5, 15));

    // A range of one day is not inverted.
    review.fromPicker()->setDate(QDate(2024, 5, 15));
    EXPECT_FALSE(model.expectedRangeIsInverted());
}

// ---------------------------------------------------------------- results

TEST(ResultsView, FailuresAreAWarningAndNameEachFileOnce) {
    using Outcome = exporting::FileOutcome;
    ModelHarness harness;
    AppModel& model = harness.make();
    app::IdentifiedSummary presented;
    presented.summary.outputRoots = {"/out/Veltrop - Bridge/Photos"};
    presented.summary.results = {
        {"/in/a.jpg", Outcome::stamped("/out/Veltrop - Bridge/Photos/a.jpg"), {}},
        {"/in/corrupted.jpg", Outcome::failed(exporting::UnexpectedFailure{"corrupted.jpg is not a supported image"}), {}},
        {"/in/b.jpg", Outcome::failed(exporting::UnexpectedFailure{"Could not create a drawing context"}), {}},
    };
    handover::HandoverPackageResult package;
    package.root = "/out/Veltrop - Bridge";
    presented.handover = package;
    app::ResultsView view(model, presented, nullptr);

    EXPECT_TRUE(view.showsWarning());
    EXPECT_EQ(view.failuresText(), qs("corrupted.jpg is not a supported image\n"
                                      "b.jpg \u2014 Could not create a drawing context"));
    // Two buttons that say which folder each opens.
    QPushButton* copies = view.button(qs("Reveal copies in \u201CPhotos\u201D"));
    QPushButton* folder = view.button(QStringLiteral("Reveal handover folder"));
    ASSERT_TRUE(copies && folder);
    folder->click();
    copies->click();
    EXPECT_EQ(harness.user->revealed, (std::vector<std::vector<fs::path>>{{"/out/Veltrop - Bridge"},
                                                                          {"/out/Veltrop - Bridge/Photos"}}));

    presented.summary.results.resize(1);
    EXPECT_FALSE(app::ResultsView(model, presented, nullptr).showsWarning());
}

// ---------------------------------------------------------------- panels

TEST(QtUserInteraction, PhotosAndFoldersHaveTheirOwnPlatformPanels) {
    auto photos = app::QtUserInteraction::makePhotosDialog(nullptr);
    EXPECT_FALSE(photos->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(photos->fileMode(), QFileDialog::ExistingFiles);
    auto folder = app::QtUserInteraction::makePhotoFolderDialog(nullptr);
    EXPECT_FALSE(folder->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(folder->fileMode(), QFileDialog::Directory);

    // Answered through the panel Qt shows here (offscreen has no platform panel).
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    writeJpeg(site / "b.jpg");
    auto desktop = std::make_shared<app::QtUserInteraction>();
    bool busy = false;
    desktop->setBeforeDiscovery([&] { busy = true; });
    AppModel& model = harness.make();
    model.setUserInteraction(desktop);
    auto answer = [](std::function<void(QFileDialog&)> choose) {
        QTimer::singleShot(0, [choose] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            choose(*dialog);
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    answer([&](QFileDialog& dialog) {
        dialog.setDirectory(app::qpath(site));
        dialog.selectFile(QStringLiteral("a.jpg"));
    });
    model.choosePhotos();
    EXPECT_TRUE(busy);
    EXPECT_EQ(model.droppedRoots(), std::vector<fs::path>{site / "a.jpg"});
    answer([&](QFileDialog& dialog) {
        dialog.setDirectory(app::qpath(harness.photos()));
        dialog.selectFile(app::qpath(site));
    });
    model.choosePhotoFolder();
    EXPECT_EQ(model.droppedRoots(), (std::vector<fs::path>{site / "a.jpg", site}));
    EXPECT_EQ(model.photos().size(), 2u);
}

// ---------------------------------------------------------------- keyboard, About, help, updates

TEST(Mnemonics, EveryFormLabelTakesTheFocusToItsField) {
    ModelHarness harness;
    const fs::path site = harness.photos() / "site";
    writeJpeg(site / "a.jpg");
    AppModel& model = harness.make();
    model.addLocations({site});
    ContentView view(model);
    app::DateReviewView review(model, nullptr);

    // Per section of the settings pane, and the review as one window.
    std::vector<QWidget*> groups{&review};
    for (QObject* child : view.controls()->children())
        if (auto* section = qobject_cast<QWidget*>(child)) groups.push_back(section);
    int labels = 0;
    for (QWidget* group : groups) {
        std::set<QChar> letters;
        for (QFormLayout* form : group->findChildren<QFormLayout*>()) {
            for (int row = 0; row < form->rowCount(); ++row) {
                QLayoutItem* item = form->itemAt(row, QFormLayout::LabelRole);
                auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
                if (!label) continue;
                ++labels;
                const QString text = label->text();
                const qsizetype marker = text.indexOf(QLatin1Char('&'));
                ASSERT_GE(marker, 0) << text.toStdString();
                ASSERT_TRUE(label->buddy()) << text.toStdString();
                EXPECT_NE(label->buddy()->focusPolicy(), Qt::NoFocus) << text.toStdString();
                EXPECT_TRUE(letters.insert(text.at(marker + 1).toLower()).second)
                    << "mnemonic used twice: " << text.toStdString();
            }
        }
    }
    EXPECT_GE(labels, 25);

    // Alt and the letter reach the field.
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_J, Qt::AltModifier);
    EXPECT_TRUE(view.controls()->projectTitleField()->hasFocus());
}

TEST(AboutView, ShowsTheVersionLicencesAndTheRealDataFolders) {
    const app::DataLocations locations = app::DataLocations::current();
    // The test runs with its own XDG folders; the About window must name those, not fixed texts.
    EXPECT_EQ(locations.settingsFolder, app::homeRelative(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Veltrop"));
    EXPECT_EQ(locations.dataFolder, app::homeRelative(qEnvironmentVariable("XDG_DATA_HOME") + "/Veltrop"));

    app::AboutView about(QStringLiteral("1.2.3"), locations);
    const QString text = about.plainText();
    EXPECT_TRUE(text.contains("Version 1.2.3"));
    EXPECT_TRUE(text.contains(locations.settingsFolder));
    EXPECT_TRUE(text.contains(locations.dataFolder));
    for (const char* library : {"Qt", "libjpeg-turbo", "libheif", "libpng", "Exiv2", "lcms2", "cairo", "Pango",
                                "HarfBuzz", "utf8proc", "ICU", "nlohmann::json"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(library))) << library;
    EXPECT_TRUE(text.contains("Qt " + QString::fromLatin1(qVersion()) + ": GNU LGPL version 3"));

    const QString home = QDir::homePath();
    EXPECT_EQ(app::homeRelative(home + "/.config/Veltrop"), "~/.config/Veltrop");
    EXPECT_EQ(app::homeRelative(home + "x/Veltrop"), home + "x/Veltrop");
}
