#include "app/ui/screenshot_tour.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <functional>
#include <iostream>

#include "app/ui/qt_text.h"
#include "app/ui/update_settings_view.h"
#include "app/ui/veltrop_app.h"
#include "kit/storage/preset_store.h"

namespace veltrop::app {

namespace fs = std::filesystem;

namespace {

// Answers the output-folder question with a fixed folder; opens nothing.
class TourInteraction final : public UserInteraction {
public:
    explicit TourInteraction(fs::path output) : output_(std::move(output)) {}
    std::vector<fs::path> choosePhotos() override { return {}; }
    std::optional<fs::path> chooseOutputFolder(const std::string&, const std::optional<fs::path>&) override {
        return output_;
    }
    std::optional<fs::path> chooseWatermarkImage() override { return std::nullopt; }
    void reveal(const std::vector<fs::path>&) override {}
    void open(const fs::path&) override {}

private:
    fs::path output_;
};

void settle(int milliseconds = 60) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMilliseconds = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMilliseconds) return false;
        settle(20);
    }
    return true;
}

class Tour {
public:
    explicit Tour(fs::path output) : output_(std::move(output)) {}

    void save(QWidget& widget, const char* name) {
        settle();
        const fs::path file = output_ / (std::string(name) + ".png");
        if (widget.grab().save(qpath(file))) {
            std::cout << file.string() << "\n";
        } else {
            std::cerr << "could not save " << file.string() << "\n";
            ok_ = false;
        }
    }
    void require(bool condition, const char* what) {
        if (!condition) {
            std::cerr << "screenshots: " << what << "\n";
            ok_ = false;
        }
    }
    bool ok() const { return ok_; }

private:
    fs::path output_;
    bool ok_ = true;
};

const char* const batchFiles[][2] = {
    {"Day 1", "Nikon D90.jpg"},
    {"Day 1", "Canon EOS 1000D.jpg"},
    {"Day 1", "Traveler SX330Z.jpg"},
    {"Day 1", "corrupted.jpg"},
    {"Day 2", "Issue 614.jpg"},
    {"Day 2", "Photoshop (1).jpg"},
    {"Day 2", "Samsung GT-I9000 (Galaxy S).jpg"},
    {"Day 2", "IMG_2927.HEIC"},
};

// A copy that ends halfway through its picture: it fails in every export.
void writeTruncatedCopy(const fs::path& source, const fs::path& destination) {
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(destination, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 5);
}

// The list asks for thumbnails while it paints; a second picture shows them.
void waitForThumbnails(ContentView& content, QWidget& window) {
    window.grab();
    waitUntil([&] { return content.photoList()->thumbnails().idle(); });
}

// Waits for the preview that the latest change asked for; the model keeps
// showing the previous one until then, after its 120 ms pause.
bool waitForPreview(AppModel& model) {
    int applied = 0;
    auto connection = QObject::connect(&model, &AppModel::previewChanged, [&] { ++applied; });
    const bool done = waitUntil([&] { return applied > 0; }, 20000);
    QObject::disconnect(connection);
    return done;
}

void select(AppModel& model, const std::string& name) {
    for (const auto& photo : model.photos())
        if (photo.url.filename() == name) model.setSelection(photo.url);
}

}  // namespace

int runScreenshotTour(const fs::path& outputFolder, const fs::path& photoFolder) {
    std::error_code error;
    fs::create_directories(outputFolder, error);
    QTemporaryDir work;
    if (!work.isValid()) {
        std::cerr << "screenshots: no temporary folder\n";
        return 1;
    }
    const fs::path root = toPath(work.path());
    const fs::path batch = root / "North bridge";
    for (const auto& [folder, name] : batchFiles) {
        fs::create_directories(batch / folder, error);
        fs::copy_file(photoFolder / name, batch / folder / name, error);
        if (error) std::cerr << "screenshots: could not copy " << name << ": " << error.message() << "\n";
    }
    writeTruncatedCopy(photoFolder / "Nikon D90.jpg", batch / "Day 2" / "damaged.jpg");
    fs::create_directories(root / "Exports", error);

    Tour tour(outputFolder);
    VeltropApp::Parts parts;
    parts.interaction = std::make_shared<TourInteraction>(root / "Exports");
    parts.settings = std::make_shared<QSettings>(qpath(root / "settings.ini"), QSettings::IniFormat);
    parts.updater = std::make_unique<Updater>(QUrl(), QStringLiteral("1.0.0"), parts.settings, Updater::Fetch());
    VeltropApp app(std::move(parts));
    AppModel& model = app.model();
    ContentView& content = app.content();
    MainWindow& window = app.mainWindow();
    app.show();
    window.resize(1280, 800);
    tour.save(window, "01-main-empty");

    app.addLocations({batch});
    tour.require(model.photos().size() == std::size(batchFiles) + 1, "the batch was not found");
    select(model, "Nikon D90.jpg");
    auto configuration = model.configuration();
    configuration.watermark = settings::defaultWatermark();
    configuration.watermark->source = settings::WatermarkSource::text("\u00A9 Northfield Surveys");
    model.setConfiguration(configuration);
    tour.require(waitForPreview(model), "no overlay preview");
    waitForThumbnails(content, window);
    tour.save(window, "02-main-overlay");

    // Retro digits cannot show a month name: the export waits, and says why.
    {
        auto retro = model.configuration();
        retro.style.theme = settings::StampTheme::retro;
        retro.format = settings::StampFormat{"Custom", "d MMM yyyy"};
        model.setConfiguration(retro);
        tour.require(waitForPreview(model), "no retro preview");
        tour.require(!model.canExport() && content.statusIsWarning(), "the retro format did not block the export");
        tour.save(window, "02b-main-export-blocked");
        model.setConfiguration(configuration);
        tour.require(model.canExport(), "the export stayed blocked");
    }

    configuration = model.configuration();
    configuration.style.mode = settings::StampMode::dataStrip;
    configuration.strip.showLens = true;
    configuration.strip.showExposure = true;
    configuration.project = settings::defaultProject();
    configuration.project->title = "North bridge inspection";
    configuration.project->location = "Pier 3";
    configuration.project->referencePrefix = "NB";
    model.setConfiguration(configuration);
    select(model, "Canon EOS 1000D.jpg");
    tour.require(waitForPreview(model), "no data-strip preview");
    tour.save(window, "03-main-data-strip");
    tour.save(*content.controls(), "03b-settings-pane-full");

    select(model, "Issue 614.jpg");
    tour.require(waitForPreview(model), "no preview for the undated photo");
    tour.save(window, "04-main-undated-photo");

    model.setShowDateReview(true);
    tour.require(content.dateReview() != nullptr, "no date review");
    if (DateReviewView* review = content.dateReview()) {
        for (const auto& photo : model.photos())
            if (photo.url.filename() == "Traveler SX330Z.jpg") review->selectPhoto(photo.url);
        review->scopeBox()->setCurrentIndex(1);
        review->hoursBox()->setValue(1);
        if (review->applyButton()->isEnabled()) review->applyButton()->click();
        for (const auto& photo : model.photos())
            if (photo.url.filename() == "Issue 614.jpg") review->selectPhoto(photo.url);
        review->scopeBox()->setCurrentIndex(review->scopeBox()->count() - 1);
        review->kindBox()->setCurrentIndex(1);
        review->suppliedField()->setText(QStringLiteral("2026-08-14 06:17:49"));
        tour.save(*review, "05-date-review");
        review->suppliedField()->setText(QStringLiteral("2026-02-30 12:00:00"));
        tour.save(*review, "06-date-review-invalid-date");
        model.setShowDateReview(false);
    }

    content.openDateReview(ReviewFilter::needsAttention);
    if (DateReviewView* review = content.dateReview()) {
        tour.save(*review, "06b-date-review-needs-attention");
        model.setShowDateReview(false);
    }

    model.setShowBatchPreview(true);
    tour.require(content.batchPreview() != nullptr, "no batch preview");
    if (BatchPreviewView* preview = content.batchPreview()) {
        tour.require(waitUntil([&] { return preview->allLoaded(); }), "batch preview cards did not load");
        tour.save(*preview, "07-batch-preview");
        model.setShowBatchPreview(false);
    }

    bool grabbedProgress = false;
    QObject::connect(&model, &AppModel::progressChanged, &window, [&] {
        if (grabbedProgress || !model.isRunning() || model.completedCount() == 0) return;
        grabbedProgress = true;
        // After the window has drawn the new count.
        QTimer::singleShot(0, &window, [&window, outputFolder] {
            const fs::path file = outputFolder / "08-main-exporting.png";
            if (window.grab().save(qpath(file))) std::cout << file.string() << "\n";
        });
    });
    tour.require(model.canExport(), "cannot export");
    content.startExport();
    tour.require(waitUntil([&] { return !model.isRunning() && content.results(); }, 120000), "the export did not end");
    if (ResultsView* results = content.results()) {
        tour.save(*results, "09-results");
        results->close();
    }

    window.resize(1024, 640);
    tour.save(window, "10-main-1024x640");
    window.resize(1280, 800);

    content.controls()->presetBar()->askSaveAs();
    if (QDialog* sheet = content.controls()->presetBar()->openSheet()) {
        if (auto* sheetView = qobject_cast<NameSheet*>(sheet)) sheetView->nameField()->setText(QStringLiteral("Bridge survey"));
        tour.save(*sheet, "11-name-sheet");
        sheet->reject();
    }

    {
        // A second window over a presets file written by a newer version.
        const fs::path newer = root / "newer" / "presets.json";
        fs::create_directories(newer.parent_path(), error);
        std::ofstream(newer) << R"({"version": 3, "presets": [{"future": true}]})";
        AppStores stores;
        stores.presets = std::make_shared<storage::PresetStore>(newer);
        auto defaults = std::make_shared<QSettings>(qpath(root / "recovery.ini"), QSettings::IniFormat);
        AppModel recovering(std::move(stores), defaults, std::make_shared<TourInteraction>(root / "Exports"));
        ContentView recoveryView(recovering);
        recoveryView.resize(1280, 800);
        recoveryView.show();
        tour.require(recovering.presetsNeedRecovery(), "the newer presets file did not need recovery");
        tour.save(recoveryView, "12-preset-recovery");
        recoveryView.controls()->presetBar()->askRecovery();
        if (QDialog* confirm = recoveryView.controls()->presetBar()->openSheet()) {
            tour.save(*confirm, "13-preset-recovery-confirm");
            confirm->reject();
        }
        recovering.recoverPresets();
        tour.save(recoveryView, "14-preset-recovered");
    }

    app.showHelp();
    HelpView& help = app.helpWindow();
    help.resize(720, 800);
    tour.save(help, "15-help");
    if (auto* scroll = help.findChild<QScrollArea*>()) {
        QWidget* page = scroll->widget();
        page->resize(page->width(), page->heightForWidth(page->width()) > 0 ? page->heightForWidth(page->width())
                                                                           : page->sizeHint().height());
        tour.save(*page, "16-help-full");
    }
    app.showSettings();
    tour.save(app.settingsWindow(), "17-update-settings");
    app.showAbout();
    tour.save(app.aboutWindow(), "17b-about");

    model.clearBatch();
    tour.save(window, "18-main-cleared");
    return tour.ok() ? 0 : 1;
}

}  // namespace veltrop::app
