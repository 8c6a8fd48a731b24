#pragma once
// One export in flight: it owns the batch processor and the cancel request,
// and for a handover package the digests taken as each copy is written and
// the thumbnails kept for the contact sheet. It runs the batch and the
// package reports on a worker thread and posts progress and the result to
// the receiver's thread; nothing is posted to a receiver that is gone.

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/handover/package_checksums.h"
#include "kit/handover/package_result.h"
#include "kit/image/bitmap.h"
#include "kit/records/date_correction.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/photo_record.h"
#include "kit/settings/stamp_configuration.h"
#include "kit/storage/folder_access.h"

namespace veltrop::app {

// Everything the run needs, copied so that the model may change meanwhile.
struct ExportJob {
    std::vector<records::DiscoveredPhoto> photos;
    settings::StampConfiguration configuration;
    std::vector<records::DateCorrectionRule> corrections;
    std::optional<records::ExpectedDateRange> range;
    std::optional<image::Bitmap> watermark;
    std::optional<std::filesystem::path> package;  // the package folder, when reports are wanted
    // Kept open for the whole run, whatever the model does meanwhile.
    std::vector<std::shared_ptr<storage::ScopedFileAccess>> access;
};

struct ExportResult {
    exporting::BatchSummary summary;
    std::optional<handover::HandoverPackageResult> handover;  // the package reports, when there is a package
};

// Called on the receiver's thread.
struct ExportHandlers {
    std::function<void(std::size_t finished, std::size_t total)> progress;
    std::function<void()> preparingReports;
    std::function<void(ExportResult)> finished;
};

class ExportRun {
public:
    // In a package each copy and its original are hashed as soon as the copy
    // is written, and the processor keeps a thumbnail of each copy.
    ExportRun(std::shared_ptr<exporting::BatchProcessor> processor, bool package);
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    void start(QThreadPool& pool, QObject& receiver, ExportJob job, ExportHandlers handlers);
    // Safe to repeat; photos in flight finish, no new photo starts.
    void cancel();

private:
    std::shared_ptr<exporting::BatchProcessor> processor_;
    std::shared_ptr<handover::PackageDigests> digests_;
    std::shared_ptr<std::atomic<bool>> cancelRequested_;
};

}  // namespace veltrop::app
