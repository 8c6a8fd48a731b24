#include "kit/render/renderer.h"

#include <cmath>
#include <cstring>

#include "kit/image/orientation.h"
#include "kit/render/drawing.h"
#include "kit/render/seven_segment.h"
#include "kit/render/stamp_layout.h"
#include "kit/settings/stamp_format.h"

namespace veltrop::render {

using image::Bitmap;
using image::Orientation;
using image::Point;
using image::Size;
using image::Rect;
using image::oriented;
using image::swapsDimensions;

using settings::StampBacking;
using settings::StampMode;
using settings::StampTheme;

std::string RenderError::description() const {
    switch (kind) {
        case Kind::unrenderableText:
            return "The retro display cannot show " + characters + " \u2014 choose a numeric format";
        case Kind::contextCreationFailed: return "Could not create a drawing context";
        case Kind::watermarkImageMissing:
            return "That watermark image is missing \u2014 choose another or turn off the watermark";
    }
    return "Could not create a drawing context";
}

namespace detail {

platform::Font fontForCapHeight(double capHeight) {
    constexpr double referenceSize = 100;
    const double ratio = platform::capHeight(platform::stampFont(referenceSize)) / referenceSize;
    return platform::stampFont(ratio > 0 ? capHeight / ratio : capHeight);
}

}  // namespace detail

namespace {

constexpr settings::Color black(double alpha) { return {0, 0, 0, alpha}; }

// The upright photo as a bitmap of this render's own, to be drawn on in
// place. Pixels someone else still holds must stay untouched; pixels handed
// over for good are drawn on directly, which saves a full-size copy.
Bitmap uprightCopy(Bitmap& image, Orientation orientation) {
    if (orientation != 1) return oriented(image, orientation);
    if (image.pixels.use_count() == 1) return std::move(image);
    auto copy = Bitmap::allocate(image.width, image.height);
    if (!copy) return {};
    for (int y = 0; y < image.height; ++y)
        std::memcpy(copy->row(y), image.row(y), static_cast<std::size_t>(image.width) * 4);
    return *copy;
}

bool drawsTimestamp(const RenderRequest& request) {
    return request.timestampEnabled &&
           (request.style.mode == StampMode::overlay || request.strip.showTimestamp);
}

[[nodiscard]] std::expected<Bitmap, RenderError> finished(platform::Canvas& canvas) {
    auto bitmap = canvas.finish();
    if (!bitmap) return std::unexpected(RenderError::contextCreationFailed());
    return std::move(*bitmap);
}

[[nodiscard]] std::expected<Bitmap, RenderError> drawOverlay(RenderRequest& request) {
    Bitmap photo = uprightCopy(request.image, request.orientation);
    request.image = {};  // a turned photo's stored pixels are no longer needed
    if (photo.empty()) return std::unexpected(RenderError::contextCreationFailed());
    const double width = photo.width, height = photo.height;
    // The upright copy is this render's own, so the stamp is drawn straight onto it.
    auto canvas = platform::Canvas::over(std::move(photo));
    if (!canvas) return std::unexpected(RenderError::contextCreationFailed());
    const Rect photoRect{0, 0, width, height};

    if (!request.timestampEnabled || request.timestamp.empty()) {
        detail::drawWatermark(request, *canvas, photoRect, std::nullopt);
        return finished(*canvas);
    }

    const settings::StampStyle& style = request.style;
    const double h = settings::stampTextHeight(style, width, height);
    const bool retro = style.theme == StampTheme::retro;
    const settings::Color ink = settings::inkColor(settings::effectiveInk(style));

    std::optional<platform::TextLine> line;
    Size text;
    if (retro) {
        text = {SevenSegment::measure(request.timestamp, h).width, h};
    } else {
        line.emplace(request.timestamp, detail::fontForCapHeight(h));
        text = line->size();
    }

    const StampLayout layout = stampLayout(style, width, height, text);
    const Placement& placement = layout.placement;
    detail::drawWatermark(request, *canvas, photoRect, placement.rect);

    const double s = placement.scale;
    canvas->save();
    canvas->translate(placement.rect.x + layout.padding.horizontal * s, placement.rect.y + layout.padding.vertical * s);
    canvas->scale(s, s);
    if (style.backing == StampBacking::box)
        canvas->fillRoundedRect(boxBackingRect(text, h), boxBackingRadius(h), black(boxAlpha));
    const bool shadowed = style.backing == StampBacking::shadow;
    if (shadowed) {
        // Room for ink a little past the measured bounds (the slant of the last digit).
        const Rect area = Rect{0, 0, text.width, text.height}.insetBy(-0.1 * h, -0.1 * h);
        canvas->beginShadow(platform::Shadow{shadowOffset(h), shadowBlur(h), black(shadowAlpha)}, area);
    }
    if (retro) SevenSegment::draw(request.timestamp, *canvas, Point{0, 0}, h, ink);
    else canvas->drawText(*line, ink, Point{0, 0});
    if (shadowed) canvas->endShadow();
    canvas->restore();

    return finished(*canvas);
}

}  // namespace

std::expected<Bitmap, RenderError> Renderer::render(const RenderRequest& request) {
    if (request.watermark && request.watermark->source.imageValue() != nullptr && !request.watermarkImage)
        return std::unexpected(RenderError::watermarkImageMissing());
    return render(RenderRequest(request));
}

std::expected<Bitmap, RenderError> Renderer::render(RenderRequest&& request) {
    if (request.watermark && request.watermark->source.imageValue() != nullptr && !request.watermarkImage)
        return std::unexpected(RenderError::watermarkImageMissing());

    RenderRequest work = std::move(request);
    // Without a timestamp there is no strip: at most a watermark on the photo.
    if (!work.timestampEnabled) work.style.mode = StampMode::overlay;
    if (work.orientation < 1 || work.orientation > 8) work.orientation = 1;
    // Clamping cannot tame a NaN; treat it as the lowest value.
    if (std::isnan(work.style.sizeFraction)) work.style.sizeFraction = settings::StampStyle::minimumSizeFraction;
    if (std::isnan(work.style.marginFraction)) work.style.marginFraction = 0;
    if (work.watermark) {
        if (std::isnan(work.watermark->sizeFraction))
            work.watermark->sizeFraction = settings::WatermarkConfig::minimumSizeFraction;
        if (std::isnan(work.watermark->opacity)) work.watermark->opacity = settings::WatermarkConfig::minimumOpacity;
    }

    const Bitmap& image = work.image;
    if (image.empty() || image.stride < static_cast<std::size_t>(image.width) * 4)
        return std::unexpected(RenderError::contextCreationFailed());

    if (work.style.theme == StampTheme::retro && drawsTimestamp(work)) {
        std::string offending = settings::unsupportedRetroCharacters(work.timestamp);
        if (!offending.empty()) return std::unexpected(RenderError::unrenderableText(std::move(offending)));
    }

    const bool swap = swapsDimensions(work.orientation);
    const int width = swap ? image.height : image.width;
    const int height = swap ? image.width : image.height;
    if (work.style.mode == StampMode::dataStrip) return detail::drawDataStrip(work, width, height);
    return drawOverlay(work);
}

}  // namespace veltrop::render
