#include "app/model/export_run.h"

#include <QPointer>

#include "kit/handover/contact_sheet.h"
#include "kit/handover/handover_package.h"

namespace veltrop::app {

ExportRun::ExportRun(std::shared_ptr<exporting::BatchProcessor> processor, bool package)
    : processor_(std::move(processor)), cancelRequested_(std::make_shared<std::atomic<bool>>(false)) {
    if (!package) return;
    digests_ = std::make_shared<handover::PackageDigests>();
    processor_ = handover::hashingProcessor(*processor_, digests_);
    handover::ContactSheet::keepThumbnails(*processor_);
}

void ExportRun::cancel() {
    cancelRequested_->store(true);
    processor_->cancel();
}

void ExportRun::start(QThreadPool& pool, QObject& receiver, ExportJob job, ExportHandlers handlers) {
    pool.start([guard = QPointer<QObject>(&receiver), receiver = &receiver, processor = processor_,
                digests = digests_, cancelRequested = cancelRequested_, job = std::move(job),
                handlers = std::make_shared<const ExportHandlers>(std::move(handlers))] {
        // Runs the handler on the receiver's thread, unless the receiver is gone by then.
        const auto post = [&](auto call) {
            QMetaObject::invokeMethod(
                receiver, [guard, call = std::move(call)]() mutable { if (guard) call(); }, Qt::QueuedConnection);
        };
        // The processor clears its flag when a run starts; a cancel that came
        // earlier is passed on again after every photo.
        std::size_t posted = 0;
        const std::size_t total = job.photos.size();
        auto progress = [&](std::size_t finished) {
            if (cancelRequested->load()) processor->cancel();
            if (finished == posted) return;
            posted = finished;
            post([handlers, finished, total] { handlers->progress(finished, total); });
        };
        ExportResult result;
        result.summary =
            processor->run(job.photos, job.configuration, job.watermark, job.corrections, job.range, progress);
        if (job.package) {
            post([handlers] { handlers->preparingReports(); });
            result.handover = handover::HandoverPackage::buildReports(result.summary, *job.package, job.configuration,
                                                                      digests.get(), processor->thumbnails().get());
        }
        post([handlers, result = std::move(result)]() mutable { handlers->finished(std::move(result)); });
    });
}

}  // namespace veltrop::app
