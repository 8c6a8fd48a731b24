#pragma once
// The one object that holds the application's state and performs every user
// action. It lives on the GUI thread; windows read it, call it and redraw on
// its signals. Background work gets value copies and hands its results back
// through queued calls, which are dropped once the model is gone or, for the
// preview, once a newer request has replaced theirs.

#include <QDate>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QImage>
#include <QObject>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/model/batch_status.h"
#include "app/model/export_run.h"
#include "app/model/preview.h"
#include "app/model/review.h"
#include "app/model/status_text.h"
#include "app/model/user_interaction.h"
#include "app/presets/preset_library.h"
#include "kit/export/batch_processor.h"
#include "kit/handover/package_result.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/date_correction.h"
#include "kit/records/photo_record.h"
#include "kit/image/bitmap.h"
#include "kit/settings/preset.h"
#include "kit/settings/stamp_configuration.h"
#include "kit/storage/folder_access.h"
#include "kit/storage/preset_store.h"
#include "kit/storage/watermark_store.h"

namespace veltrop::app {

// The three stores; any of them may be absent, which turns its feature off.
struct AppStores {
    std::shared_ptr<storage::PresetStoring> presets;
    std::shared_ptr<storage::WatermarkStoring> watermarks;
    std::optional<storage::FolderAccessStore> folderAccess;

    // The files in the Veltrop folder of the per-user data folder.
    static AppStores standard();
};

// The model's texts that windows show or tests compare.
namespace modelTexts {
inline constexpr const char* chooseOutputFolder = "Choose where stamped copies should be written";
inline constexpr const char* chooseWritableFolder =
    "Veltrop could not write to the output folder. Choose a writable folder for the exported copies.";
inline constexpr const char* choosePackageFolder = "Choose where new handover packages should be written";
inline constexpr const char* rememberFailed =
    "This folder can be used now, but Veltrop could not remember its permission. Choose it again next time.";
inline constexpr const char* watermarkMissing = "That watermark image is missing";
inline constexpr const char* handoverFolderFailed = "Could not create the handover folder: ";
inline constexpr const char* presetsNotReset = presetTexts::notReset;
inline constexpr const char* customPresetLabel = presetTexts::custom;
inline constexpr const char* modifiedSuffix = presetTexts::modifiedSuffix;
inline constexpr const char* customFormatName = "Custom";
inline constexpr const char* lastPresetKey = "lastPresetID";
}  // namespace modelTexts

class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY runningChanged)
    Q_PROPERTY(qint64 completedCount READ completedCount NOTIFY progressChanged)
    Q_PROPERTY(qint64 totalCount READ totalCount NOTIFY progressChanged)
    Q_PROPERTY(bool isPreparingReports READ isPreparingReports NOTIFY preparingReportsChanged)
    Q_PROPERTY(bool usingCustomFormat READ usingCustomFormat NOTIFY formatChanged)
    Q_PROPERTY(bool showDateReview READ showDateReview WRITE setShowDateReview NOTIFY showDateReviewChanged)
    Q_PROPERTY(bool showBatchPreview READ showBatchPreview WRITE setShowBatchPreview NOTIFY showBatchPreviewChanged)
    Q_PROPERTY(bool expectedRangeEnabled READ expectedRangeEnabled WRITE setExpectedRangeEnabled NOTIFY
                   expectedRangeChanged)
    Q_PROPERTY(QDate expectedStart READ expectedStart WRITE setExpectedStart NOTIFY expectedRangeChanged)
    Q_PROPERTY(QDate expectedEnd READ expectedEnd WRITE setExpectedEnd NOTIFY expectedRangeChanged)
    Q_PROPERTY(QImage previewImage READ previewImage NOTIFY previewChanged)
    Q_PROPERTY(quint64 previewGeneration READ previewGeneration NOTIFY previewGenerationChanged)
    Q_PROPERTY(bool presetsNeedRecovery READ presetsNeedRecovery NOTIFY presetRecoveryChanged)

public:
    using ProcessorFactory = std::function<std::shared_ptr<exporting::BatchProcessor>()>;
    using PreviewRenderer = std::function<PreviewOutcome(const PreviewInput&)>;

    static constexpr int previewDelayMilliseconds = 120;
    static constexpr int maxConcurrentPhotos = 4;

    // The standard stores and the application's own QSettings.
    explicit AppModel(std::shared_ptr<UserInteraction> interaction = {}, QObject* parent = nullptr);
    AppModel(AppStores stores, std::shared_ptr<QSettings> defaults, std::shared_ptr<UserInteraction> interaction,
             QObject* parent = nullptr);
    // Cancels a running export and waits for the photos in flight.
    ~AppModel() override;

    void setUserInteraction(std::shared_ptr<UserInteraction> interaction);
    // Seams for tests: how a batch processor is made, how a preview is rendered.
    void setProcessorFactory(ProcessorFactory factory);
    void setPreviewRenderer(PreviewRenderer renderer);
    // Blocks until every background task has handed in its result (the
    // results are applied once the event loop runs); false on timeout.
    bool waitForBackgroundWork(int timeoutMilliseconds);

    // ---- Fields
    const std::vector<records::DiscoveredPhoto>& photos() const { return photos_; }
    const std::vector<std::filesystem::path>& droppedRoots() const { return droppedRoots_; }
    const std::optional<std::filesystem::path>& selection() const { return selection_; }
    const records::DiscoveredPhoto* selectedPhoto() const;
    const std::optional<std::string>& fileAccessMessage() const { return fileAccessMessage_; }
    std::vector<std::filesystem::path> inputAccessLocations() const;
    const std::set<std::filesystem::path>& excludedCompletedPhotos() const { return excludedCompletedPhotos_; }
    bool hasOutputAccess() const { return outputAccess_ != nullptr; }
    bool hasFolderAccessStore() const { return folderAccessStore_.has_value(); }
    const settings::StampConfiguration& configuration() const { return configuration_; }
    bool usingCustomFormat() const { return usingCustomFormat_; }
    const std::string& customPattern() const { return customPattern_; }
    bool isRunning() const { return isRunning_; }
    qint64 completedCount() const { return completedCount_; }
    qint64 totalCount() const { return totalCount_; }
    const std::optional<exporting::BatchSummary>& summary() const { return summary_; }
    // The package reports of the last export, when it made a package.
    const std::optional<handover::HandoverPackageResult>& handoverResult() const { return handoverResult_; }
    bool isPreparingReports() const { return isPreparingReports_; }
    const std::vector<records::DateCorrectionRule>& corrections() const { return corrections_; }
    bool showDateReview() const { return showDateReview_; }
    bool showBatchPreview() const { return showBatchPreview_; }
    bool expectedRangeEnabled() const { return expectedRangeEnabled_; }
    // Whole days: the range runs from the first day's 00:00:00 to the last day's 23:59:59.
    QDate expectedStart() const { return expectedStart_; }
    QDate expectedEnd() const { return expectedEnd_; }
    const std::map<std::filesystem::path, std::int64_t>& photoOrdinals() const { return photoOrdinals_; }
    std::int64_t nextOrdinal() const { return nextOrdinal_; }
    // Shares the bitmap's pixels; a null image when there is no preview.
    QImage previewImage() const;
    const std::optional<image::Bitmap>& previewBitmap() const { return previewBitmap_; }
    const std::optional<std::string>& previewError() const { return previewError_; }
    quint64 previewGeneration() const { return previewGeneration_; }
    bool hasWatermarkStore() const { return watermarkStore_ != nullptr; }
    const std::optional<image::Bitmap>& watermarkImage() const { return watermarkImage_; }
    const std::optional<std::string>& watermarkImageName() const { return watermarkImageName_; }
    const std::optional<std::string>& watermarkMessage() const { return watermarkMessage_; }
    bool hasPresetStore() const { return presets_.hasStore(); }
    const std::vector<settings::Preset>& presets() const { return presets_.presets(); }
    const std::optional<settings::Uuid>& selectedPresetID() const { return presets_.selectedID(); }
    const std::optional<std::string>& presetMessage() const { return presets_.message(); }
    bool presetsNeedRecovery() const { return presets_.needsRecovery(); }
    const std::optional<std::filesystem::path>& presetBackupURL() const { return presets_.backupLocation(); }

    // ---- Derived from the fields (see batch_status.h); the records are built
    // once per change of what they read, the rest on every call.
    // The fields the derived values read, valid until the model changes.
    ModelSnapshot snapshot() const;
    // The expected range as capture dates, when it is checked.
    std::optional<records::ExpectedDateRange> expectedRange() const;
    bool expectedRangeIsInverted() const;
    // One record per photo, with the corrections and the expected range.
    // Valid until the model changes.
    const std::vector<records::PhotoRecord>& records() const;
    // Changes whenever a record changes in more than its project fields (a
    // new title or reference prefix patches those in place), so that lists
    // showing names and dates can keep their rows.
    std::uint64_t recordsRevision() const;
    std::optional<records::PhotoRecord> record(const std::filesystem::path& photo) const;
    std::size_t exportableCount() const;
    std::size_t needsAttentionCount() const;
    std::size_t undatedCount() const;  // photos without a recorded capture date
    std::optional<settings::ConfigurationProblem> configurationProblem() const;
    // The characters of the pattern the retro display cannot show; empty when all can.
    std::string retroUnsupportedCharacters() const;
    bool canExport() const;
    std::string statusText() const;
    // The facts the status line and the export button follow, and why an export cannot start now.
    ExportFacts exportFacts() const;
    std::optional<std::string> exportBlockedReason() const;
    std::string exportButtonTitle() const;
    OutputDescription outputDescription() const;
    std::string presetLabel() const;
    std::vector<records::DiscoveredPhoto> representativePhotos() const;
    // The date review's correction form against this batch; reviewSelection is the review's own row.
    CorrectionAssessment assessCorrection(const CorrectionForm& form,
                                          const std::optional<std::filesystem::path>& reviewSelection) const;
    // The render function the preview uses, for the batch preview's cards.
    const PreviewRenderer& previewRenderer() const { return previewRenderer_; }

public slots:
    // ---- Photos and folders
    void addLocations(const std::vector<std::filesystem::path>& locations);
    void choosePhotos();
    void choosePhotoFolder();
    void rediscover();
    void clearBatch();
    void setSelection(const std::optional<std::filesystem::path>& photo);
    void dismissFileAccessMessage();

    // ---- Configuration
    // Replaces the whole configuration; rediscovers when the output folder or
    // the subfolder choice changed, else refreshes the preview.
    void setConfiguration(const settings::StampConfiguration& configuration);
    void chooseFormat(const settings::StampFormat& builtIn);
    void chooseCustomFormat();
    void setCustomPattern(const std::string& pattern);
    bool chooseOutputFolder(const std::string& message);
    void resetOutputFolder();

    // ---- Watermark
    void chooseWatermarkImage();
    void setWatermarkEnabled(bool enabled);
    void useTextWatermark();
    void loadWatermarkForConfiguration();

    // ---- Corrections and expected range
    void applyCorrection(const records::DateCorrectionRule& rule);
    void removeCorrection(const settings::Uuid& id);
    void setExpectedRangeEnabled(bool enabled);
    void setExpectedStart(const QDate& start);
    void setExpectedEnd(const QDate& end);
    void setShowDateReview(bool show);
    void setShowBatchPreview(bool show);

    // ---- Export
    bool prepareOutput();
    void startExport();
    void cancel();
    void keepUnfinishedPhotos();
    void reveal(const std::vector<std::filesystem::path>& locations);
    void open(const std::filesystem::path& file);

    // ---- Presets
    void applyPreset(const settings::Uuid& id);
    void saveAsNewPreset(const std::string& name);
    void updateSelectedPreset();
    void renameSelectedPreset(const std::string& name);
    void deleteSelectedPreset();
    void restoreBuiltInPresets();
    void recoverPresets();
    void showPresetBackup();
    void dismissPresetMessage();
    // Takes in what another program (the command line, a second window)
    // saved in the presets file, keeping this window's own unsaved changes.
    // Runs by itself when the file changes.
    void reloadChangedPresets();

    // ---- Preview
    void refreshPreview();

signals:
    // Emitted after every change, beside the specific signal.
    void changed();
    void photosChanged();
    void droppedRootsChanged();
    void selectionChanged();
    void fileAccessMessageChanged();
    void inputAccessChanged();
    void outputAccessChanged();
    void excludedCompletedPhotosChanged();
    void configurationChanged();
    void formatChanged();  // usingCustomFormat or customPattern
    void runningChanged();
    void progressChanged();
    void summaryChanged();
    void preparingReportsChanged();
    void correctionsChanged();
    void showDateReviewChanged();
    void showBatchPreviewChanged();
    void expectedRangeChanged();
    void ordinalsChanged();
    void previewChanged();  // previewImage or previewError
    void previewGenerationChanged();
    void watermarkChanged();  // watermarkImage, watermarkImageName or watermarkMessage
    void presetsChanged();
    void selectedPresetChanged();
    void presetMessageChanged();
    void presetRecoveryChanged();  // presetsNeedRecovery or presetBackupURL

private:
    struct PendingPreview {
        quint64 generation = 0;
        PreviewInput input;
        std::vector<std::shared_ptr<storage::ScopedFileAccess>> access;
    };

    void announce(void (AppModel::*signal)());
    void numberPhotos(std::vector<records::DiscoveredPhoto>& photos);
    void selectFirstIfGone();
    void setFileAccessMessage(std::optional<std::string> message);
    void setSummary(std::optional<exporting::BatchSummary> summary);
    void setPreview(std::optional<image::Bitmap> image, std::optional<std::string> error);
    void setWatermarkMessage(std::optional<std::string> message);
    void restoreOutputAccess();
    bool ensureOutputAccess();
    std::optional<std::filesystem::path> askForOutputFolder(const std::string& message);
    void loadPresets();
    // Announces what a preset call changed and remembers a new selection.
    void announcePresets(const PresetChanges& changes);
    void watchPresetsFile();
    void startPendingPreview();
    void applyPreview(quint64 generation, PreviewOutcome outcome);
    void applyProgress(std::size_t finished, std::size_t total);
    void applyPreparingReports();
    void finishExport(ExportResult result);

    std::shared_ptr<UserInteraction> interaction_;
    ProcessorFactory processorFactory_;
    PreviewRenderer previewRenderer_;

    std::vector<records::DiscoveredPhoto> photos_;
    std::vector<std::filesystem::path> droppedRoots_;
    std::optional<std::filesystem::path> selection_;
    std::optional<std::string> fileAccessMessage_;
    std::map<std::filesystem::path, std::shared_ptr<storage::ScopedFileAccess>> inputAccess_;
    std::set<std::filesystem::path> excludedCompletedPhotos_;
    std::shared_ptr<storage::ScopedFileAccess> outputAccess_;
    std::optional<storage::FolderAccessStore> folderAccessStore_;
    settings::StampConfiguration configuration_;
    bool usingCustomFormat_ = false;
    std::string customPattern_;
    bool isRunning_ = false;
    qint64 completedCount_ = 0;
    qint64 totalCount_ = 0;
    std::optional<exporting::BatchSummary> summary_;
    std::optional<handover::HandoverPackageResult> handoverResult_;
    bool isPreparingReports_ = false;
    std::vector<records::DateCorrectionRule> corrections_;
    bool showDateReview_ = false;
    bool showBatchPreview_ = false;
    bool expectedRangeEnabled_ = false;
    QDate expectedStart_;
    QDate expectedEnd_;
    std::map<std::filesystem::path, std::int64_t> photoOrdinals_;
    std::int64_t nextOrdinal_ = 0;
    std::optional<image::Bitmap> previewBitmap_;
    std::optional<std::string> previewError_;
    quint64 previewGeneration_ = 0;
    std::unique_ptr<ExportRun> run_;
    // Bumped whenever photos_ changes, so the records know to be rebuilt.
    std::uint64_t photosRevision_ = 0;
    // What the cached records were built from: a record reads nothing else.
    struct RecordInputs {
        std::uint64_t photosRevision = 0;
        std::vector<records::DateCorrectionRule> corrections;
        std::optional<records::ExpectedDateRange> expectedRange;
        bool useFileDateFallback = false;
        settings::PhotoProject project;
        bool operator==(const RecordInputs&) const = default;
    };
    RecordInputs recordInputs() const;
    mutable std::optional<RecordInputs> recordsBuiltFrom_;
    mutable std::vector<records::PhotoRecord> records_;
    mutable std::uint64_t recordsRevision_ = 0;
    std::shared_ptr<storage::WatermarkStoring> watermarkStore_;
    std::optional<image::Bitmap> watermarkImage_;
    std::optional<std::string> watermarkImageName_;
    std::optional<settings::WatermarkImageID> watermarkNameBelongsTo_;
    std::optional<std::string> watermarkMessage_;
    PresetLibrary presets_;
    // Remembers the last preset chosen, for the next start.
    std::shared_ptr<QSettings> defaults_;
    QFileSystemWatcher presetsWatcher_;

    QTimer previewTimer_;
    std::optional<PendingPreview> pendingPreview_;
    // Declared last: destroyed first, so no task outlives the fields above.
    QThreadPool workers_;
};

// A view of a bitmap's pixels as a QImage that keeps the bitmap alive.
QImage toQImage(const image::Bitmap& bitmap);

}  // namespace veltrop::app
