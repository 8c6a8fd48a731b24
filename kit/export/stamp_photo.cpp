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
        if (kept.error().kind == LosslessSkip::Kind::failed) return FileOutcome::failed(kept.error().reason);
        fallback = kept.error().reason;
    }

    auto loaded = ImageLoader::load(plan.photo.url);
    if (!loaded) return FileOutcome::failed(loaded.error().description());

    render::RenderRequest request = renderRequest(plan, job);
    request.orientation = loaded->orientation;
    request.image = std::move(loaded->image);  // handed over: an upright photo is stamped in place

    auto rendered = render::Renderer::render(std::move(request));
    if (!rendered) return FileOutcome::failed(rendered.error().description());

    const WriteOptions options{configuration.jpegQuality, configuration.removeGPS};
    auto written = ImageWriter::write(*rendered, *plan.destination, loaded->metadata, options);
    if (!written) return FileOutcome::failed(written.error().description());
    FileOutcome outcome = FileOutcome::stamped(*plan.destination);
    outcome.losslessFallback = std::move(fallback);
    return outcome;
}

}  // namespace veltrop::exporting
