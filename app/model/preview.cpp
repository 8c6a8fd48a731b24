#include "app/model/preview.h"

#include <algorithm>
#include <system_error>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/render/renderer.h"

namespace veltrop::app {

namespace fs = std::filesystem;

PreviewOutcome renderPreview(const PreviewInput& input) { return renderPreviewWith(PreviewBaseCache::shared(), input); }

PreviewOutcome renderPreviewWith(PreviewBaseCache& bases, const PreviewInput& input) {
    const records::DiscoveredPhoto& photo = input.photo;
    const settings::StampConfiguration& configuration = input.configuration;
    const records::PhotoRecord record =
        input.record ? *input.record
                     : records::makeRecord(photo, photo.batchOrdinal.value_or(0), configuration, {}, std::nullopt);
    if (settings::needsCaptureDate(configuration) && !record.resolvedDate)
        return std::unexpected(std::string(noUsableDateText));

    const std::string name = photo.url.filename().string();
    std::error_code error;
    if (!fs::is_regular_file(photo.url, error)) return std::unexpected("Could not read " + name);

    // Upright already: turning it first is what the renderer would do, so the drawing is the same.
    auto base = bases.base(photo.url);
    if (!base) {
        const bool unreadable = base.error().kind == exporting::ImageLoadError::Kind::unreadable;
        return std::unexpected((unreadable ? "Could not read " : "Could not decode ") + name);
    }

    // Built the way the export builds it, so that the preview cannot drift from the copies.
    render::RenderRequest request;
    request.orientation = 1;
    request.timestamp = exporting::timestampText(configuration, record.resolvedDate);
    request.style = configuration.style;
    request.strip = records::effectiveStrip(configuration, record);
    request.recordText = records::stripLine(configuration, record);
    request.exif = photo.exif;
    request.watermark = configuration.watermark;
    request.watermarkImage = input.watermarkImage;
    request.timestampEnabled = configuration.timestampEnabled;
    request.image = std::move(*base);

    auto rendered = render::Renderer::render(request);
    if (!rendered) return std::unexpected(rendered.error().description());
    return std::move(*rendered);
}

std::vector<records::DiscoveredPhoto> representativePhotos(const std::vector<records::DiscoveredPhoto>& photos,
                                                             const std::vector<records::PhotoRecord>& records,
                                                             const std::optional<fs::path>& selection) {
    std::vector<records::DiscoveredPhoto> chosen;
    auto add = [&](const records::DiscoveredPhoto& photo) {
        const bool present = std::any_of(chosen.begin(), chosen.end(),
                                         [&](const records::DiscoveredPhoto& p) { return p.url == photo.url; });
        if (!present) chosen.push_back(photo);
    };
    auto addFirst = [&](auto&& predicate) {
        for (std::size_t i = 0; i < photos.size(); ++i) {
            if (predicate(i)) {
                add(photos[i]);
                return;
            }
        }
    };
    auto recordAt = [&](std::size_t i) -> const records::PhotoRecord* {
        return i < records.size() ? &records[i] : nullptr;
    };

    if (selection) addFirst([&](std::size_t i) { return photos[i].url == *selection; });
    addFirst([&](std::size_t i) { return photos[i].displaySize.height > photos[i].displaySize.width; });
    addFirst([&](std::size_t i) { return recordAt(i) && !recordAt(i)->correction.empty(); });
    addFirst([&](std::size_t i) { return recordAt(i) && !recordAt(i)->warnings.empty(); });
    for (const auto& photo : photos) {
        if (chosen.size() >= 4) break;
        add(photo);
    }
    if (chosen.size() > 4) chosen.resize(4);
    return chosen;
}

}  // namespace veltrop::app
