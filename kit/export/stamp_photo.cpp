#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/render/renderer.h"

namespace veltrop::exporting {

FileOutcome stampPhoto(const StampPlan& plan, const StampJob& job) {
    const settings::StampConfiguration& configuration = job.configuration;
    auto loaded = ImageLoader::load(plan.photo.url);
    if (!loaded) return FileOutcome::failed(loaded.error());

    render::RenderRequest request;
    request.orientation = loaded->orientation;
    request.timestamp = timestampText(configuration, plan.date);
    request.style = configuration.style;
    request.strip = records::effectiveStrip(configuration, plan.record);
    request.recordText = records::stripLine(configuration, plan.record);
    request.exif = plan.photo.exif;
    request.watermark = configuration.watermark;
    request.watermarkImage = job.watermarkImage;
    request.timestampEnabled = configuration.timestampEnabled;
    request.image = std::move(loaded->image);  // handed over: an upright photo is stamped in place

    auto rendered = render::Renderer::render(std::move(request));
    if (!rendered) return FileOutcome::failed(rendered.error());

    const WriteOptions options{configuration.jpegQuality, configuration.removeGPS};
    auto written = ImageWriter::write(*rendered, *plan.destination, loaded->metadata, options);
    if (!written) return FileOutcome::failed(written.error());
    return FileOutcome::stamped(*plan.destination);
}

}  // namespace veltrop::exporting
