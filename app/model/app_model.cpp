// Over 500 lines: AppModel stays the one owner of the application's state,
// and the slots kept here (photos and discovery, the configuration and output
// folder, corrections, the preview, the derived values as one-liners) change
// the same fields and announce the same signals. The rest is split by job:
// export in app_model_export.cpp (the run itself in export_run.cpp), the
// watermark and presets in app_model_settings.cpp (the preset rules in
// app/presets), and every derived value or text in batch_status.cpp, over a
// snapshot of these fields.
#include "app/model/app_model.h"

#include <unistd.h>

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <utility>

#include "app/model/model_thread.h"
#include "kit/export/photo_discovery.h"
#include "kit/records/path_key.h"

namespace veltrop::app {

namespace fs = std::filesystem;
using records::DiscoveredPhoto;
using settings::StampConfiguration;

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
      presets_(std::move(stores.presets)),
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
    if (run_) run_->cancel();
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

void AppModel::rediscover() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_) return;
    std::vector<fs::path> excluded;
    if (configuration_.outputRoot) excluded.push_back(*configuration_.outputRoot);
    // Discovery holds this thread: no timer or queued result may change the
    // model while a batch is being replaced.
    auto files = exporting::PhotoDiscovery::discoverFiles(droppedRoots_, configuration_.includeSubfolders, excluded);
    std::erase_if(files, [&](const fs::path& file) {
        return excludedCompletedPhotos_.contains(records::standardized(file));
    });
    auto photos = exporting::PhotoDiscovery::makePhotos(files, droppedRoots_);
    numberPhotos(photos);
    if (photos != photos_) {
        photos_ = std::move(photos);
        ++photosRevision_;
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
    ++photosRevision_;
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

ModelSnapshot AppModel::snapshot() const {
    return {photos_,         droppedRoots_,           configuration_,              corrections_,
            expectedRange(), expectedRangeIsInverted(), watermarkImage_.has_value(), outputAccess_ != nullptr,
            isRunning_};
}

AppModel::RecordInputs AppModel::recordInputs() const {
    return {photosRevision_, corrections_, expectedRange(), configuration_.useFileDateFallback,
            settings::effectiveProject(configuration_)};
}

// Every window asks for the records after every change; they are built once
// per change of their inputs, which are compared rather than announced so
// that no setter can leave them stale.
const std::vector<records::PhotoRecord>& AppModel::records() const {
    RecordInputs inputs = recordInputs();
    if (recordsBuiltFrom_ == inputs) return records_;
    RecordInputs sameProject = inputs;
    if (recordsBuiltFrom_) sameProject.project = recordsBuiltFrom_->project;
    if (recordsBuiltFrom_ == sameProject) {
        for (std::size_t i = 0; i < photos_.size(); ++i)
            records::setProjectFields(records_[i], photos_[i], static_cast<std::int64_t>(i), inputs.project);
    } else {
        records_ = photoRecords(snapshot());
        ++recordsRevision_;
    }
    recordsBuiltFrom_ = std::move(inputs);
    return records_;
}
std::uint64_t AppModel::recordsRevision() const {
    records();
    return recordsRevision_;
}
std::optional<records::PhotoRecord> AppModel::record(const fs::path& photo) const {
    // One photo alone is cheaper to build than the batch, unless the batch is built already.
    if (recordsBuiltFrom_ == recordInputs()) {
        for (std::size_t i = 0; i < photos_.size(); ++i)
            if (photos_[i].url == photo) return records_[i];
        return std::nullopt;
    }
    return photoRecord(snapshot(), photo);
}
std::size_t AppModel::exportableCount() const {
    if (!settings::needsCaptureDate(configuration_)) return photos_.size();
    return app::exportableCount(configuration_, records());
}
std::size_t AppModel::needsAttentionCount() const {
    const auto& all = records();
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), records::needsAttention));
}
std::size_t AppModel::undatedCount() const { return app::undatedCount(snapshot()); }
std::optional<settings::ConfigurationProblem> AppModel::configurationProblem() const {
    return app::configurationProblem(snapshot());
}
std::string AppModel::retroUnsupportedCharacters() const { return app::retroUnsupportedCharacters(snapshot()); }
ExportFacts AppModel::exportFacts() const { return app::exportFacts(snapshot(), exportableCount()); }
std::optional<std::string> AppModel::exportBlockedReason() const { return app::exportBlockedReason(exportFacts()); }
bool AppModel::canExport() const { return !exportBlockedReason().has_value(); }
std::string AppModel::statusText() const { return app::statusText(exportFacts()); }
std::string AppModel::exportButtonTitle() const { return app::exportButtonTitle(configuration_); }
OutputDescription AppModel::outputDescription() const { return app::outputDescription(snapshot()); }
std::string AppModel::presetLabel() const { return presets_.label(configuration_); }
std::vector<DiscoveredPhoto> AppModel::representativePhotos() const {
    return app::representativePhotos(photos_, records(), selection_);
}
CorrectionAssessment AppModel::assessCorrection(const CorrectionForm& form,
                                                const std::optional<fs::path>& reviewSelection) const {
    return app::assessCorrection(form, photos_, configuration_, corrections_, reviewSelection);
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
