#include "app/model/app_model.h"

#include <unistd.h>

#include <QEventLoop>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include "kit/dates/text.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "kit/handover/handover_package.h"
#include "kit/settings/stamp_format.h"

// Every field is the GUI thread's; a call from elsewhere is a bug in the caller.
#define VELTROP_ASSERT_MODEL_THREAD() Q_ASSERT(QThread::currentThread() == thread())

namespace veltrop::app {

namespace fs = std::filesystem;
using records::DiscoveredPhoto;
using settings::StampConfiguration;

namespace {

// Preset names are trimmed like every other text the user types.
std::string trimmed(const std::string& text) { return dates::trimmed(text); }

bool isBuiltInFormat(const settings::StampFormat& format) {
    const auto formats = settings::builtInFormats();
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool packageIsOn(const StampConfiguration& configuration) {
    return !configuration.project || configuration.project->includeHandoverPackage;
}

std::string lastComponent(const fs::path& location) {
    const fs::path standard = records::standardized(location);
    return standard.filename().empty() ? standard.string() : standard.filename().string();
}

}  // namespace

QImage toQImage(const image::Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    // The cleanup hook owns a reference to the pixels for as long as Qt uses them.
    auto* keeper = new std::shared_ptr<std::uint8_t[]>(bitmap.pixels);
    return QImage(
        bitmap.pixels.get(), bitmap.width, bitmap.height, static_cast<qsizetype>(bitmap.stride),
        QImage::Format_ARGB32_Premultiplied,
        [](void* info) { delete static_cast<std::shared_ptr<std::uint8_t[]>*>(info); }, keeper);
}

AppStores AppStores::standard() {
    AppStores stores;
    if (auto presets = storage::PresetStore::standard()) stores.presets = std::make_shared<storage::PresetStore>(*presets);
    if (auto watermarks = storage::WatermarkStore::standard())
        stores.watermarks = std::make_shared<storage::WatermarkStore>(*watermarks);
    if (auto access = storage::FolderAccessStore::standard()) stores.folderAccess = *access;
    return stores;
}

// ---------------------------------------------------------------- construction

AppModel::AppModel(std::shared_ptr<UserInteraction> interaction, QObject* parent)
    : AppModel(AppStores::standard(), std::make_shared<QSettings>(QStringLiteral("Veltrop"), QStringLiteral("Veltrop")),
               std::move(interaction), parent) {}

AppModel::AppModel(AppStores stores, std::shared_ptr<QSettings> defaults, std::shared_ptr<UserInteraction> interaction,
                   QObject* parent)
    : QObject(parent),
      interaction_(std::move(interaction)),
      processorFactory_([] { return std::make_shared<exporting::BatchProcessor>(maxConcurrentPhotos, std::nullopt); }),
      previewRenderer_(renderPreview),
      folderAccessStore_(std::move(stores.folderAccess)),
      configuration_(settings::defaultConfiguration()),
      customPattern_(settings::defaultFormat().pattern),
      expectedStart_(QDate::currentDate()),
      expectedEnd_(expectedStart_),
      watermarkStore_(std::move(stores.watermarks)),
      presetStore_(std::move(stores.presets)),
      defaults_(std::move(defaults)) {
    if (!configuration_.project) configuration_.project = settings::defaultProject();
    previewTimer_.setSingleShot(true);
    previewTimer_.setInterval(previewDelayMilliseconds);
    previewTimer_.setTimerType(Qt::PreciseTimer);
    connect(&previewTimer_, &QTimer::timeout, this, &AppModel::startPendingPreview);
    // An export holds one thread for its whole run; previews must not queue behind it.
    workers_.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
    exporting::ImageLoader::prepare();
    loadPresets();
    connect(&presetsWatcher_, &QFileSystemWatcher::directoryChanged, this, &AppModel::reloadChangedPresets);
    connect(&presetsWatcher_, &QFileSystemWatcher::fileChanged, this, &AppModel::reloadChangedPresets);
    watchPresetsFile();
}

AppModel::~AppModel() {
    previewTimer_.stop();
    if (cancelRequested_) cancelRequested_->store(true);
    if (processor_) processor_->cancel();
    workers_.waitForDone();
}

void AppModel::setUserInteraction(std::shared_ptr<UserInteraction> interaction) {
    VELTROP_ASSERT_MODEL_THREAD();
    interaction_ = std::move(interaction);
}

void AppModel::setProcessorFactory(ProcessorFactory factory) {
    VELTROP_ASSERT_MODEL_THREAD();
    processorFactory_ = std::move(factory);
}

void AppModel::setPreviewRenderer(PreviewRenderer renderer) {
    VELTROP_ASSERT_MODEL_THREAD();
    previewRenderer_ = std::move(renderer);
}

bool AppModel::waitForBackgroundWork(int timeoutMilliseconds) {
    VELTROP_ASSERT_MODEL_THREAD();
    return workers_.waitForDone(timeoutMilliseconds);
}

void AppModel::announce(void (AppModel::*signal)()) {
    (this->*signal)();
    emit changed();
}

// ---------------------------------------------------------------- simple fields

const DiscoveredPhoto* AppModel::selectedPhoto() const {
    if (!selection_) return nullptr;
    auto found = std::find_if(photos_.begin(), photos_.end(), [&](const DiscoveredPhoto& p) { return p.url == *selection_; });
    return found == photos_.end() ? nullptr : &*found;
}

std::vector<fs::path> AppModel::inputAccessLocations() const {
    std::vector<fs::path> locations;
    for (const auto& [location, access] : inputAccess_) locations.push_back(location);
    return locations;
}

QImage AppModel::previewImage() const { return previewBitmap_ ? toQImage(*previewBitmap_) : QImage(); }

void AppModel::setFileAccessMessage(std::optional<std::string> message) {
    if (fileAccessMessage_ == message) return;
    fileAccessMessage_ = std::move(message);
    announce(&AppModel::fileAccessMessageChanged);
}

void AppModel::dismissFileAccessMessage() {
    VELTROP_ASSERT_MODEL_THREAD();
    setFileAccessMessage(std::nullopt);
}

void AppModel::setSummary(std::optional<exporting::BatchSummary> summary) {
    if (!summary_ && !summary) return;
    summary_ = std::move(summary);
    handoverResult_.reset();
    announce(&AppModel::summaryChanged);
}

void AppModel::setPreview(std::optional<image::Bitmap> image, std::optional<std::string> error) {
    const bool same = !image && !previewBitmap_ && error == previewError_;
    previewBitmap_ = std::move(image);
    previewError_ = std::move(error);
    if (!same) announce(&AppModel::previewChanged);
}

void AppModel::setPresetMessage(std::optional<std::string> message) {
    if (presetMessage_ == message) return;
    presetMessage_ = std::move(message);
    announce(&AppModel::presetMessageChanged);
}

void AppModel::dismissPresetMessage() {
    VELTROP_ASSERT_MODEL_THREAD();
    setPresetMessage(std::nullopt);
}

void AppModel::setWatermarkMessage(std::optional<std::string> message) {
    if (watermarkMessage_ == message) return;
    watermarkMessage_ = std::move(message);
    announce(&AppModel::watermarkChanged);
}

void AppModel::setShowDateReview(bool show) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (showDateReview_ == show) return;
    showDateReview_ = show;
    announce(&AppModel::showDateReviewChanged);
}

void AppModel::setShowBatchPreview(bool show) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (showBatchPreview_ == show) return;
    showBatchPreview_ = show;
    announce(&AppModel::showBatchPreviewChanged);
}

// ---------------------------------------------------------------- photos and folders

void AppModel::addLocations(const std::vector<fs::path>& locations) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    bool added = false;
    for (const fs::path& location : locations) {
        auto access = std::make_shared<storage::ScopedFileAccess>(location);
        const bool readable = access->started() && ::access(location.c_str(), R_OK) == 0;
        if (!readable) {
            setFileAccessMessage("Could not open " + lastComponent(location) +
                                 ". Choose the photo or folder again to allow access.");
            continue;
        }
        const fs::path standard = records::standardized(location);
        if (inputAccess_.contains(standard)) continue;
        inputAccess_.emplace(standard, std::move(access));
        droppedRoots_.push_back(standard);
        added = true;
    }
    if (added) {
        announce(&AppModel::inputAccessChanged);
        announce(&AppModel::droppedRootsChanged);
    }
    rediscover();
}

void AppModel::choosePhotos() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_ || !interaction_) return;
    auto chosen = interaction_->choosePhotos();
    if (!chosen.empty()) addLocations(chosen);
}

void AppModel::choosePhotoFolder() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_ || !interaction_) return;
    if (auto chosen = interaction_->choosePhotoFolder()) addLocations({*chosen});
}

void AppModel::numberPhotos(std::vector<DiscoveredPhoto>& photos) {
    bool numbered = false;
    for (DiscoveredPhoto& photo : photos) {
        auto [entry, inserted] = photoOrdinals_.try_emplace(photo.url, nextOrdinal_);
        if (inserted) {
            ++nextOrdinal_;
            numbered = true;
        }
        photo.batchOrdinal = entry->second;
    }
    if (numbered) announce(&AppModel::ordinalsChanged);
}

void AppModel::selectFirstIfGone() {
    if (selectedPhoto()) return;
    std::optional<fs::path> next;
    if (!photos_.empty()) next = photos_.front().url;
    if (next != selection_) {
        selection_ = std::move(next);
        announce(&AppModel::selectionChanged);
    }
}

namespace {

// Runs work on a helper thread and returns its result, while this thread
// keeps painting and running timers (user input waits). Discovery of a large
// folder takes seconds; the caller still sees one synchronous call.
template <class Work>
auto waitWhilePainting(Work work) {
    std::optional<decltype(work())> result;
    QEventLoop loop;
    std::thread worker([&] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return std::move(*result);
}

}  // namespace

void AppModel::rediscover() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    std::vector<fs::path> excluded;
    if (configuration_.outputRoot) excluded.push_back(*configuration_.outputRoot);
    auto photos = waitWhilePainting([roots = droppedRoots_, subfolders = configuration_.includeSubfolders,
                                     excluded = std::move(excluded), completed = excludedCompletedPhotos_] {
        auto files = exporting::PhotoDiscovery::discoverFiles(roots, subfolders, excluded);
        std::erase_if(files, [&](const fs::path& file) { return completed.contains(records::standardized(file)); });
        return exporting::PhotoDiscovery::makePhotos(files, roots);
    });
    numberPhotos(photos);
    if (photos != photos_) {
        photos_ = std::move(photos);
        announce(&AppModel::photosChanged);
    }
    selectFirstIfGone();
    setSummary(std::nullopt);
    refreshPreview();
}

void AppModel::clearBatch() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    ++previewGeneration_;
    previewTimer_.stop();
    pendingPreview_.reset();
    emit previewGenerationChanged();
    photos_.clear();
    droppedRoots_.clear();
    inputAccess_.clear();
    excludedCompletedPhotos_.clear();
    corrections_.clear();
    photoOrdinals_.clear();
    nextOrdinal_ = 0;
    expectedRangeEnabled_ = false;
    selection_.reset();
    summary_.reset();
    handoverResult_.reset();
    previewBitmap_.reset();
    previewError_.reset();
    for (auto signal : {&AppModel::photosChanged, &AppModel::droppedRootsChanged, &AppModel::inputAccessChanged,
                        &AppModel::excludedCompletedPhotosChanged, &AppModel::correctionsChanged,
                        &AppModel::ordinalsChanged, &AppModel::expectedRangeChanged, &AppModel::selectionChanged,
                        &AppModel::summaryChanged, &AppModel::previewChanged})
        announce(signal);
}

void AppModel::setSelection(const std::optional<fs::path>& photo) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (selection_ != photo) {
        selection_ = photo;
        announce(&AppModel::selectionChanged);
    }
    refreshPreview();
}

// ---------------------------------------------------------------- configuration

void AppModel::setConfiguration(const StampConfiguration& configuration) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (configuration == configuration_) return;
    // Discovery depends on these two; a batch that ignored them would export the wrong photos.
    const bool rediscoveryNeeded = configuration.outputRoot != configuration_.outputRoot ||
                                   configuration.includeSubfolders != configuration_.includeSubfolders;
    configuration_ = configuration;
    announce(&AppModel::configurationChanged);
    if (rediscoveryNeeded && !isRunning_)
        rediscover();
    else
        refreshPreview();
}

void AppModel::chooseFormat(const settings::StampFormat& builtIn) {
    VELTROP_ASSERT_MODEL_THREAD();
    usingCustomFormat_ = false;
    customPattern_ = builtIn.pattern;
    announce(&AppModel::formatChanged);
    StampConfiguration next = configuration_;
    next.format = builtIn;
    setConfiguration(next);
    refreshPreview();
}

void AppModel::chooseCustomFormat() {
    VELTROP_ASSERT_MODEL_THREAD();
    usingCustomFormat_ = true;
    announce(&AppModel::formatChanged);
    StampConfiguration next = configuration_;
    next.format = settings::StampFormat{modelTexts::customFormatName, customPattern_};
    setConfiguration(next);
    refreshPreview();
}

void AppModel::setCustomPattern(const std::string& pattern) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (pattern == customPattern_) return;
    customPattern_ = pattern;
    announce(&AppModel::formatChanged);
    if (usingCustomFormat_) {
        StampConfiguration next = configuration_;
        next.format = settings::StampFormat{modelTexts::customFormatName, customPattern_};
        setConfiguration(next);
    }
}

std::optional<fs::path> AppModel::askForOutputFolder(const std::string& message) {
    if (!interaction_) return std::nullopt;
    return interaction_->chooseOutputFolder(message, configuration_.outputRoot);
}

bool AppModel::chooseOutputFolder(const std::string& message) {
    VELTROP_ASSERT_MODEL_THREAD();
    auto chosen = askForOutputFolder(message);
    if (!chosen) return false;
    const fs::path folder = records::standardized(*chosen);
    outputAccess_ = std::make_shared<storage::ScopedFileAccess>(folder);
    announce(&AppModel::outputAccessChanged);
    StampConfiguration next = configuration_;
    next.outputRoot = folder;
    configuration_ = next;
    announce(&AppModel::configurationChanged);
    const bool remembered = folderAccessStore_ && folderAccessStore_->remember(folder).has_value();
    if (!remembered) setFileAccessMessage(modelTexts::rememberFailed);
    rediscover();
    return true;
}

void AppModel::resetOutputFolder() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!configuration_.outputRoot) return;
    configuration_.outputRoot.reset();
    announce(&AppModel::configurationChanged);
    rediscover();
}

void AppModel::restoreOutputAccess() {
    std::shared_ptr<storage::ScopedFileAccess> restored;
    if (configuration_.outputRoot && folderAccessStore_) {
        auto access = folderAccessStore_->restoreAccess(*configuration_.outputRoot);
        if (access && *access && (*access)->started())
            restored = std::make_shared<storage::ScopedFileAccess>(std::move(**access));
    }
    outputAccess_ = std::move(restored);
    announce(&AppModel::outputAccessChanged);
}

// ---------------------------------------------------------------- watermark

void AppModel::chooseWatermarkImage() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!watermarkStore_ || !interaction_) return;
    auto picked = interaction_->chooseWatermarkImage();
    if (!picked) return;
    auto id = watermarkStore_->importImage(*picked);
    if (!id) {
        setWatermarkMessage(id.error().description());
        return;
    }
    auto image = watermarkStore_->loadImage(*id);
    if (!image) {
        setWatermarkMessage(image.error().description());
        return;
    }
    StampConfiguration next = configuration_;
    if (!next.watermark) next.watermark = settings::defaultWatermark();
    next.watermark->source = settings::WatermarkSource::image(*id);
    watermarkImage_ = std::move(*image);
    watermarkImageName_ = picked->filename().string();
    watermarkNameBelongsTo_ = *id;
    watermarkMessage_.reset();
    announce(&AppModel::watermarkChanged);
    setConfiguration(next);
}

void AppModel::setWatermarkEnabled(bool enabled) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (enabled == configuration_.watermark.has_value()) return;
    StampConfiguration next = configuration_;
    if (enabled)
        next.watermark = settings::defaultWatermark();
    else
        next.watermark.reset();
    configuration_ = next;
    announce(&AppModel::configurationChanged);
    loadWatermarkForConfiguration();
    refreshPreview();
}

void AppModel::useTextWatermark() {
    VELTROP_ASSERT_MODEL_THREAD();
    StampConfiguration next = configuration_;
    if (!next.watermark) next.watermark = settings::defaultWatermark();
    const std::string* text = next.watermark->source.textValue();
    next.watermark->source = settings::WatermarkSource::text(text ? *text : std::string());
    watermarkImage_.reset();
    watermarkImageName_.reset();
    watermarkNameBelongsTo_.reset();
    watermarkMessage_.reset();
    announce(&AppModel::watermarkChanged);
    if (next != configuration_)
        setConfiguration(next);
    else
        refreshPreview();
}

void AppModel::loadWatermarkForConfiguration() {
    VELTROP_ASSERT_MODEL_THREAD();
    const settings::WatermarkImageID* id =
        configuration_.watermark ? configuration_.watermark->source.imageValue() : nullptr;
    if (!id) {
        watermarkImage_.reset();
        watermarkImageName_.reset();
        watermarkNameBelongsTo_.reset();
        watermarkMessage_.reset();  // nothing can be missing any more
        announce(&AppModel::watermarkChanged);
        return;
    }
    // The picked file's name only describes the image it was picked for.
    if (watermarkNameBelongsTo_ != *id) {
        watermarkImageName_.reset();
        watermarkNameBelongsTo_.reset();
    }
    auto image = watermarkStore_ ? watermarkStore_->loadImage(*id)
                                 : std::expected<image::Bitmap, storage::WatermarkStoreError>(
                                       std::unexpected(storage::WatermarkStoreError::imageNotFound(*id)));
    if (image) {
        watermarkImage_ = std::move(*image);
        watermarkMessage_.reset();
    } else {
        watermarkImage_.reset();
        watermarkMessage_ = modelTexts::watermarkMissing;
    }
    announce(&AppModel::watermarkChanged);
}

// ---------------------------------------------------------------- corrections and expected range

void AppModel::applyCorrection(const records::DateCorrectionRule& rule) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    std::erase_if(corrections_, [&](const records::DateCorrectionRule& r) { return r.scope == rule.scope; });
    corrections_.push_back(rule);
    announce(&AppModel::correctionsChanged);
    refreshPreview();
}

void AppModel::removeCorrection(const settings::Uuid& id) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    if (std::erase_if(corrections_, [&](const records::DateCorrectionRule& r) { return r.id == id; }) == 0) return;
    announce(&AppModel::correctionsChanged);
    refreshPreview();
}

void AppModel::setExpectedRangeEnabled(bool enabled) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (enabled == expectedRangeEnabled_) return;
    expectedRangeEnabled_ = enabled;
    announce(&AppModel::expectedRangeChanged);
    refreshPreview();
}

void AppModel::setExpectedStart(const QDate& start) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (start == expectedStart_) return;
    expectedStart_ = start;
    announce(&AppModel::expectedRangeChanged);
    if (expectedRangeEnabled_) refreshPreview();
}

void AppModel::setExpectedEnd(const QDate& end) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (end == expectedEnd_) return;
    expectedEnd_ = end;
    announce(&AppModel::expectedRangeChanged);
    if (expectedRangeEnabled_) refreshPreview();
}

std::optional<records::ExpectedDateRange> AppModel::expectedRange() const {
    if (!expectedRangeEnabled_) return std::nullopt;
    return records::ExpectedDateRange::days(expectedStart_.year(), expectedStart_.month(), expectedStart_.day(),
                                            expectedEnd_.year(), expectedEnd_.month(), expectedEnd_.day());
}

bool AppModel::expectedRangeIsInverted() const { return expectedRangeEnabled_ && expectedEnd_ < expectedStart_; }

// ---------------------------------------------------------------- derived values

std::vector<records::PhotoRecord> AppModel::records() const {
    const auto range = expectedRange();
    std::vector<records::PhotoRecord> result;
    result.reserve(photos_.size());
    for (std::size_t i = 0; i < photos_.size(); ++i)
        result.push_back(
            records::makeRecord(photos_[i], static_cast<std::int64_t>(i), configuration_, corrections_, range));
    return result;
}

std::optional<records::PhotoRecord> AppModel::record(const fs::path& photo) const {
    for (std::size_t i = 0; i < photos_.size(); ++i) {
        if (photos_[i].url == photo)
            return records::makeRecord(photos_[i], static_cast<std::int64_t>(i), configuration_, corrections_,
                                       expectedRange());
    }
    return std::nullopt;
}

std::size_t AppModel::exportableCount() const {
    if (!settings::needsCaptureDate(configuration_)) return photos_.size();
    const auto all = records();
    return static_cast<std::size_t>(
        std::count_if(all.begin(), all.end(), [](const records::PhotoRecord& r) { return r.resolvedDate.has_value(); }));
}

std::size_t AppModel::needsAttentionCount() const {
    const auto all = records();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), records::needsAttention));
}

std::size_t AppModel::undatedCount() const {
    return static_cast<std::size_t>(
        std::count_if(photos_.begin(), photos_.end(), [](const DiscoveredPhoto& p) { return !p.captureDate; }));
}

std::optional<settings::ConfigurationProblem> AppModel::configurationProblem() const {
    return settings::validate(configuration_, watermarkImage_.has_value());
}

std::string AppModel::retroUnsupportedCharacters() const {
    return settings::validatePattern(configuration_.format.pattern, configuration_.style.theme).unsupported;
}

bool AppModel::canExport() const { return !exportBlockedReason().has_value(); }

ExportFacts AppModel::exportFacts() const {
    return {isRunning_, photos_.size(), exportableCount(), configurationProblem(), retroUnsupportedCharacters(),
            expectedRangeIsInverted()};
}

std::optional<std::string> AppModel::exportBlockedReason() const { return app::exportBlockedReason(exportFacts()); }

std::string AppModel::statusText() const { return app::statusText(exportFacts()); }

std::string AppModel::exportButtonTitle() const {
    if (packageIsOn(configuration_)) return "Export handover package";
    return configuration_.timestampEnabled ? "Add Timestamps" : "Add Watermarks";
}

OutputDescription AppModel::outputDescription() const {
    const std::string folderName(settings::defaultOutputFolderName);
    const auto& root = configuration_.outputRoot;
    if (!packageIsOn(configuration_)) {
        if (root) {
            std::string label = lastComponent(*root);
            if (!outputAccess_) label += " \u2014 choose again to allow access";
            return {label, root->string()};
        }
        std::string label = storage::ExportFolderAccess::needsChosenOutputFolder(droppedRoots_)
                                ? "Choose an output folder when exporting"
                                : folderName + "/ beside the originals";
        return {label, "A " + folderName + " folder is created inside each imported folder, preserving its subfolders. " +
                           "Individual photos require a chosen output folder."};
    }
    if (root)
        return {"New handover folder in " + lastComponent(*root),
                "Each export creates a new handover folder inside " + root->string() + "."};
    return {"Choose a folder for the handover package",
            "Choose a destination for a new folder containing JPEG copies, a contact sheet and a photo index."};
}

std::vector<DiscoveredPhoto> AppModel::representativePhotos() const {
    return app::representativePhotos(photos_, records(), selection_);
}

CorrectionAssessment AppModel::assessCorrection(const CorrectionForm& form,
                                                const std::optional<fs::path>& reviewSelection) const {
    return app::assessCorrection(form, photos_, configuration_, corrections_, reviewSelection);
}

// ---------------------------------------------------------------- export

bool AppModel::ensureOutputAccess() {
    const fs::path root = records::standardized(*configuration_.outputRoot);
    if (!outputAccess_ || records::standardized(outputAccess_->url()) != root) restoreOutputAccess();
    std::error_code error;
    return outputAccess_ && outputAccess_->started() && fs::is_directory(root, error);
}

bool AppModel::prepareOutput() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!configuration_.outputRoot) {
        if (packageIsOn(configuration_))
            return chooseOutputFolder(modelTexts::choosePackageFolder);
        if (storage::ExportFolderAccess::needsChosenOutputFolder(droppedRoots_))
            return chooseOutputFolder(modelTexts::chooseOutputFolder);
        const bool dateNeeded = settings::needsCaptureDate(configuration_);
        const auto all = records();
        std::vector<fs::path> folders;
        for (std::size_t i = 0; i < photos_.size(); ++i) {
            if (dateNeeded && !all[i].resolvedDate) continue;
            fs::path folder = settings::outputFolder(configuration_, photos_[i].root, photos_[i].rootIsFolder());
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
        }
        for (const fs::path& folder : folders) {
            if (!storage::ExportFolderAccess::probeWritable(folder))
                return chooseOutputFolder(modelTexts::chooseWritableFolder);
        }
        return true;
    }
    if (!ensureOutputAccess()) return chooseOutputFolder(modelTexts::chooseOutputFolder);
    if (!storage::ExportFolderAccess::probeWritable(*configuration_.outputRoot))
        return chooseOutputFolder(modelTexts::chooseWritableFolder);
    return true;
}

void AppModel::startExport() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!canExport() || !prepareOutput() || !canExport()) return;

    StampConfiguration copy = configuration_;
    std::optional<fs::path> package;
    if (packageIsOn(copy)) {
        if (!copy.outputRoot) return;
        const std::string title = copy.project ? copy.project->title : std::string();
        auto created = handover::HandoverPackage::createPackageFolder(*copy.outputRoot, title);
        if (!created) {
            setFileAccessMessage(modelTexts::handoverFolderFailed + created.error().description());
            return;
        }
        package = *created;
        copy.outputRoot = handover::HandoverPackage::photosFolder(*created);
    }

    isRunning_ = true;
    summary_.reset();
    handoverResult_.reset();
    completedCount_ = 0;
    totalCount_ = static_cast<qint64>(photos_.size());
    processor_ = processorFactory_();
    // In a package each copy and its original are hashed as soon as the copy is written.
    auto digests = std::make_shared<handover::PackageDigests>();
    if (package) processor_ = handover::hashingProcessor(*processor_, digests);
    if (package) handover::ContactSheet::keepThumbnails(*processor_);
    cancelRequested_ = std::make_shared<std::atomic<bool>>(false);
    announce(&AppModel::runningChanged);
    announce(&AppModel::summaryChanged);
    announce(&AppModel::progressChanged);

    // The permissions stay open for the whole run, whatever the model does meanwhile.
    std::vector<std::shared_ptr<storage::ScopedFileAccess>> access;
    for (const auto& [location, entry] : inputAccess_) access.push_back(entry);
    if (outputAccess_) access.push_back(outputAccess_);

    workers_.start([self = QPointer<AppModel>(this), model = this, processor = processor_,
                    cancelRequested = cancelRequested_, photos = photos_, configuration = std::move(copy),
                    corrections = corrections_, range = expectedRange(), watermark = watermarkImage_,
                    package = std::move(package), digests = std::move(digests), access = std::move(access)] {
        // The processor clears its flag when a run starts; a cancel that came
        // earlier is passed on again after every photo.
        std::size_t posted = 0;
        const std::size_t total = photos.size();
        auto progress = [&](std::size_t finished) {
            if (cancelRequested->load()) processor->cancel();
            if (finished == posted) return;
            posted = finished;
            QMetaObject::invokeMethod(
                model, [self, finished, total] { if (self) self->applyProgress(finished, total); },
                Qt::QueuedConnection);
        };
        exporting::BatchSummary summary =
            processor->run(photos, configuration, watermark, corrections, range, progress);
        std::optional<handover::HandoverPackageResult> reports;
        if (package) {
            QMetaObject::invokeMethod(
                model, [self] { if (self) self->applyPreparingReports(); }, Qt::QueuedConnection);
            reports = handover::HandoverPackage::buildReports(summary, *package, configuration, digests.get(),
                                                              processor->thumbnails().get());
        }
        QMetaObject::invokeMethod(
            model,
            [self, summary = std::move(summary), reports = std::move(reports)]() mutable {
                if (self) self->finishExport(std::move(summary), std::move(reports));
            },
            Qt::QueuedConnection);
    });
}

void AppModel::applyProgress(std::size_t finished, std::size_t total) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!isRunning_) return;
    const auto completed = static_cast<qint64>(finished);
    const auto all = static_cast<qint64>(total);
    if (completed == completedCount_ && all == totalCount_) return;
    completedCount_ = completed;
    totalCount_ = all;
    announce(&AppModel::progressChanged);
}

void AppModel::applyPreparingReports() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!isRunning_ || isPreparingReports_) return;
    isPreparingReports_ = true;
    announce(&AppModel::preparingReportsChanged);
}

void AppModel::finishExport(exporting::BatchSummary summary, std::optional<handover::HandoverPackageResult> handover) {
    VELTROP_ASSERT_MODEL_THREAD();
    summary_ = std::move(summary);
    handoverResult_ = std::move(handover);
    announce(&AppModel::summaryChanged);
    if (isPreparingReports_) {
        isPreparingReports_ = false;
        announce(&AppModel::preparingReportsChanged);
    }
    isRunning_ = false;
    processor_.reset();
    cancelRequested_.reset();
    announce(&AppModel::runningChanged);
}

void AppModel::cancel() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!processor_) return;
    cancelRequested_->store(true);
    processor_->cancel();
}

void AppModel::keepUnfinishedPhotos() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_ || !summary_) return;
    const auto unfinished = summary_->unfinishedSources();
    std::set<fs::path> done;
    for (const auto& result : summary_->results) {
        if (std::find(unfinished.begin(), unfinished.end(), result.source) == unfinished.end())
            done.insert(result.source);
    }
    excludedCompletedPhotos_.insert(done.begin(), done.end());
    announce(&AppModel::excludedCompletedPhotosChanged);

    // The selection moves to the nearest photo that stays, preferring the ones after it.
    std::optional<fs::path> nextSelection;
    const auto selected = std::find_if(photos_.begin(), photos_.end(),
                                       [&](const DiscoveredPhoto& p) { return selection_ && p.url == *selection_; });
    for (auto it = selected; it != photos_.end() && !nextSelection; ++it)
        if (!done.contains(it->url)) nextSelection = it->url;
    for (auto it = selected; it != photos_.begin() && !nextSelection;)
        if (!done.contains((--it)->url)) nextSelection = it->url;

    std::erase_if(photos_, [&](const DiscoveredPhoto& p) { return done.contains(p.url); });
    announce(&AppModel::photosChanged);
    if (nextSelection != selection_) {
        selection_ = nextSelection;
        announce(&AppModel::selectionChanged);
    }
    selectFirstIfGone();
    setSummary(std::nullopt);
    refreshPreview();
}

void AppModel::reveal(const std::vector<fs::path>& locations) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (interaction_ && !locations.empty()) interaction_->reveal(locations);
}

void AppModel::open(const fs::path& file) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (interaction_) interaction_->open(file);
}

// ---------------------------------------------------------------- presets

void AppModel::loadPresets() {
    if (!presetStore_) {
        presets_ = storage::builtIns();
    } else if (auto loaded = presetStore_->load()) {
        storedPresets_ = *loaded;
        if (loaded->empty()) {
            presets_ = storage::builtIns();
            // A first start without a writable folder still works.
            if (auto saved = presetStore_->saveChanges(storedPresets_, presets_)) {
                storedPresets_ = *saved;
                presets_ = std::move(*saved);
            }
        } else {
            presets_ = std::move(*loaded);
        }
    } else {
        presets_ = storage::builtIns();
        presetMessage_ = loaded.error().description();
        presetsNeedRecovery_ = true;
    }
    announce(&AppModel::presetsChanged);

    std::optional<settings::Uuid> remembered;
    if (defaults_) remembered = settings::Uuid::parse(defaults_->value(modelTexts::lastPresetKey).toString().toStdString());
    auto found = std::find_if(presets_.begin(), presets_.end(),
                              [&](const settings::Preset& p) { return remembered && p.id == *remembered; });
    if (found != presets_.end())
        applyPreset(found->id);
    else if (!presets_.empty())
        applyPreset(presets_.front().id);
}

void AppModel::rememberSelectedPreset() {
    if (!defaults_) return;
    if (selectedPresetID_)
        defaults_->setValue(modelTexts::lastPresetKey, QString::fromStdString(selectedPresetID_->text()));
    else
        defaults_->remove(modelTexts::lastPresetKey);
}

void AppModel::persistPresets() {
    if (presetsNeedRecovery_ || !presetStore_) return;
    auto saved = presetStore_->saveChanges(storedPresets_, presets_);
    if (!saved) {
        // A file another program made unusable meanwhile is not written over;
        // the changes stay here and go with the next save that succeeds.
        setPresetMessage(saved.error().description());
        return;
    }
    storedPresets_ = *saved;
    setPresetMessage(std::nullopt);
    adoptPresets(std::move(*saved));
    watchPresetsFile();
}

void AppModel::adoptPresets(std::vector<settings::Preset> presets) {
    if (presets == presets_) return;
    presets_ = std::move(presets);
    announce(&AppModel::presetsChanged);
    // Removed elsewhere: the settings stay as they are, now without a preset.
    const bool selectionGone =
        selectedPresetID_ && std::none_of(presets_.begin(), presets_.end(),
                                          [&](const settings::Preset& p) { return p.id == *selectedPresetID_; });
    if (selectionGone) {
        selectedPresetID_.reset();
        rememberSelectedPreset();
        announce(&AppModel::selectedPresetChanged);
    }
}

void AppModel::reloadChangedPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    watchPresetsFile();
    if (presetsNeedRecovery_ || !presetStore_) return;
    auto loaded = presetStore_->load();
    // An unusable file is reported when this window next saves.
    if (!loaded || *loaded == storedPresets_) return;
    std::vector<settings::Preset> merged = storage::mergePresets(storedPresets_, presets_, *loaded);
    storedPresets_ = std::move(*loaded);
    adoptPresets(std::move(merged));
}

void AppModel::watchPresetsFile() {
    if (!presetStore_) return;
    const auto file = presetStore_->watchedFile();
    if (!file) return;
    // The folder, because a save replaces the file by renaming another over it.
    for (const fs::path& item : {file->parent_path(), *file}) {
        const QString path = QString::fromStdString(item.string());
        std::error_code error;
        if (fs::exists(item, error) && !presetsWatcher_.directories().contains(path) &&
            !presetsWatcher_.files().contains(path))
            presetsWatcher_.addPath(path);
    }
}

void AppModel::applyPreset(const settings::Uuid& id) {
    VELTROP_ASSERT_MODEL_THREAD();
    auto preset = std::find_if(presets_.begin(), presets_.end(), [&](const settings::Preset& p) { return p.id == id; });
    if (preset == presets_.end()) return;
    const StampConfiguration previous = configuration_;
    StampConfiguration next = preset->configuration;
    if (!next.project) next.project = configuration_.project;
    configuration_ = next;
    announce(&AppModel::configurationChanged);

    selectedPresetID_ = id;
    rememberSelectedPreset();
    announce(&AppModel::selectedPresetChanged);

    usingCustomFormat_ = !isBuiltInFormat(next.format);
    customPattern_ = next.format.pattern;
    announce(&AppModel::formatChanged);

    loadWatermarkForConfiguration();
    if (next.outputRoot != previous.outputRoot) restoreOutputAccess();
    if (next.outputRoot != previous.outputRoot || next.includeSubfolders != previous.includeSubfolders)
        rediscover();
    else
        refreshPreview();
}

void AppModel::saveAsNewPreset(const std::string& name) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetsNeedRecovery_) return;
    const std::string clean = trimmed(name);
    if (clean.empty()) return;
    settings::Preset preset{settings::Uuid::random(), clean, configuration_};
    presets_.push_back(preset);
    announce(&AppModel::presetsChanged);
    selectedPresetID_ = preset.id;
    rememberSelectedPreset();
    announce(&AppModel::selectedPresetChanged);
    persistPresets();
}

void AppModel::updateSelectedPreset() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetsNeedRecovery_ || !selectedPresetID_) return;
    bool updated = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedPresetID_) {
            preset.configuration = configuration_;
            updated = true;
        }
    }
    if (!updated) return;
    announce(&AppModel::presetsChanged);
    persistPresets();
}

void AppModel::renameSelectedPreset(const std::string& name) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetsNeedRecovery_ || !selectedPresetID_) return;
    const std::string clean = trimmed(name);
    if (clean.empty()) return;
    bool renamed = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedPresetID_) {
            preset.name = clean;
            renamed = true;
        }
    }
    if (!renamed) return;
    announce(&AppModel::presetsChanged);
    persistPresets();
}

void AppModel::deleteSelectedPreset() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetsNeedRecovery_ || !selectedPresetID_) return;
    std::erase_if(presets_, [&](const settings::Preset& p) { return p.id == *selectedPresetID_; });
    announce(&AppModel::presetsChanged);
    selectedPresetID_.reset();
    rememberSelectedPreset();
    announce(&AppModel::selectedPresetChanged);
    persistPresets();
}

void AppModel::restoreBuiltInPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetsNeedRecovery_) return;
    const auto& builtIns = storage::builtIns();
    std::erase_if(presets_, [&](const settings::Preset& p) {
        return std::any_of(builtIns.begin(), builtIns.end(), [&](const settings::Preset& b) { return b.id == p.id; });
    });
    presets_.insert(presets_.begin(), builtIns.begin(), builtIns.end());
    announce(&AppModel::presetsChanged);
    persistPresets();
}

void AppModel::recoverPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!presetsNeedRecovery_) return;
    if (!presetStore_) {
        setPresetMessage(modelTexts::presetsNotReset + storage::PresetStoreError::recoveryUnavailable().description());
        return;
    }
    auto backup = presetStore_->backUpAndReset(presets_);
    if (!backup) {
        setPresetMessage(modelTexts::presetsNotReset + backup.error().description());
        return;
    }
    presetBackupURL_ = *backup;
    storedPresets_ = presets_;
    presetsNeedRecovery_ = false;
    announce(&AppModel::presetRecoveryChanged);
    setPresetMessage(std::nullopt);
}

void AppModel::showPresetBackup() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (presetBackupURL_) reveal({*presetBackupURL_});
}

std::string AppModel::presetLabel() const {
    if (!selectedPresetID_) return modelTexts::customPresetLabel;
    auto preset = std::find_if(presets_.begin(), presets_.end(),
                               [&](const settings::Preset& p) { return p.id == *selectedPresetID_; });
    if (preset == presets_.end()) return modelTexts::customPresetLabel;
    // A preset without project data was applied with the project kept, so that
    // project does not count as a change.
    StampConfiguration applied = preset->configuration;
    if (!applied.project) applied.project = configuration_.project;
    return applied == configuration_ ? preset->name : preset->name + modelTexts::modifiedSuffix;
}

// ---------------------------------------------------------------- preview

void AppModel::refreshPreview() {
    VELTROP_ASSERT_MODEL_THREAD();
    const quint64 generation = ++previewGeneration_;
    emit previewGenerationChanged();
    const DiscoveredPhoto* photo = selectedPhoto();
    if (!photo) {
        previewTimer_.stop();
        pendingPreview_.reset();
        setPreview(std::nullopt, std::nullopt);
        return;
    }
    PendingPreview pending;
    pending.generation = generation;
    pending.input.photo = *photo;
    pending.input.configuration = configuration_;
    pending.input.watermarkImage = watermarkImage_;
    pending.input.record = record(photo->url);
    for (const auto& [location, access] : inputAccess_) pending.access.push_back(access);
    pendingPreview_ = std::move(pending);
    previewTimer_.start();  // restarts the quiet period
}

void AppModel::startPendingPreview() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!pendingPreview_ || pendingPreview_->generation != previewGeneration_) return;
    PendingPreview pending = std::move(*pendingPreview_);
    pendingPreview_.reset();
    workers_.start([self = QPointer<AppModel>(this), model = this, renderer = previewRenderer_,
                    pending = std::move(pending)] {
        PreviewOutcome outcome = renderer(pending.input);
        QMetaObject::invokeMethod(
            model,
            [self, generation = pending.generation, outcome = std::move(outcome)]() mutable {
                if (self) self->applyPreview(generation, std::move(outcome));
            },
            Qt::QueuedConnection);
    });
}

void AppModel::applyPreview(quint64 generation, PreviewOutcome outcome) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (generation != previewGeneration_) return;
    if (outcome)
        setPreview(std::move(*outcome), std::nullopt);
    else
        setPreview(std::nullopt, std::move(outcome.error()));
}

}  // namespace veltrop::app
