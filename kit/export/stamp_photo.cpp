#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/lossless_stamp.h"
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
    auto loaded = ImageLoader::load(plan.photo.url, admit);
    if (!loaded && refused)
        return FileOutcome::failed(MemoryLimitExceeded{plan.photo.url.filename().string(), *refused, job.memory->total()});
    if (!loaded) return FileOutcome::failed(loaded.error());

    render::RenderRequest request = renderRequest(plan, job);
    request.orientation = loaded->orientation;
    request.image = std::move(loaded->image);  // handed over: an upright photo is stamped in place

    auto rendered = render::Renderer::render(std::move(request));
    if (!rendered) return FileOutcome::failed(rendered.error());

    if (job.thumbnails) job.thumbnails->keep(plan.photo.url, *rendered);

    const WriteOptions options{configuration.jpegQuality, configuration.removeGPS, plan.copyDate};
    auto written = ImageWriter::write(*rendered, *plan.destination, loaded->metadata, options);
    if (!written) return FileOutcome::failed(written.error());
    FileOutcome outcome = FileOutcome::stamped(*plan.destination);
    outcome.losslessFallback = std::move(fallback);
    return outcome;
}

}  // namespace veltrop::exporting
