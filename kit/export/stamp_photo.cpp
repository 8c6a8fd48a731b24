#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/lossless_stamp.h"
#include "kit/export/overlapped_copy.h"
#include "kit/render/renderer.h"

namespace veltrop::exporting {

FileOutcome stampPhoto(const StampPlan& plan, const StampJob& job) {
    const settings::StampConfiguration& configuration = job.configuration;
    std::string fallback;
    if (configuration.keepOriginalQuality) {
        auto kept = stampLosslessly(plan, job);
        if (kept) {
            FileOutcome outcome = FileOutcome::stamped(*plan.destination);
            outcome.lossless = true;
            return outcome;
        }
        if (kept.error().failure) return FileOutcome::failed(*kept.error().failure);
        fallback = kept.error().reason;
    }
    const StampingThread busy;

    // Held until the copy is written: the picture, the stamped copy and the
    // encoder all live within it.
    std::optional<MemoryBudget::Reservation> reservation;
    std::optional<std::uint64_t> refused;
    const auto admit = [&](const platform::DecodeCost& cost) {
        if (job.memory == nullptr) return true;
        const std::uint64_t bytes = photoMemoryBytes(cost);
        reservation = job.memory->reserve(bytes);
        if (!reservation) refused = bytes;
        return reservation.has_value();
    };

    render::RenderRequest request = renderRequest(plan, job);
    const WriteOptions options{configuration.jpegQuality, configuration.removeGPS, plan.copyDate};
    // The picture arrives upright; a second thread may encode it as it comes.
    auto overlapped = OverlappedCopy::start(job.overlap, request, *plan.destination, options);
    ImageLoader::RowsDone rowsDone;
    if (overlapped) rowsDone = [&](const platform::DecodedImage& sofar, int rows) { overlapped->rowsDone(sofar, rows); };

    auto loaded = ImageLoader::loadUpright(plan.photo.url, admit, rowsDone);
    if (!loaded) {
        if (overlapped) overlapped->abandon();
        if (refused)
            return FileOutcome::failed(
                MemoryLimitExceeded{plan.photo.url.filename().string(), *refused, job.memory->total()});
        return FileOutcome::failed(loaded.error());
    }

    FileOutcome outcome = FileOutcome::stamped(*plan.destination);
    outcome.losslessFallback = std::move(fallback);
    if (overlapped && overlapped->encoding() && loaded->orientation == 1) {
        auto drawn = overlapped->complete(loaded->image);
        if (!drawn) return FileOutcome::failed(drawn.error());
        // Kept while the encoder finishes.
        if (job.thumbnails) job.thumbnails->keep(plan.photo.url, loaded->image);
        auto written = overlapped->written();
        if (!written) return FileOutcome::failed(written.error());
        return outcome;
    }
    if (overlapped) overlapped->abandon();

    request.orientation = loaded->orientation;
    request.image = std::move(loaded->image);  // handed over: an upright photo is stamped in place

    auto rendered = render::Renderer::render(std::move(request));
    if (!rendered) return FileOutcome::failed(rendered.error());

    if (job.thumbnails) job.thumbnails->keep(plan.photo.url, *rendered);

    auto written = ImageWriter::write(*rendered, *plan.destination, loaded->metadata, options);
    if (!written) return FileOutcome::failed(written.error());
    return outcome;
}

}  // namespace veltrop::exporting
