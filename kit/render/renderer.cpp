#include "kit/render/renderer.h"

#include <cmath>
#include <cstring>
#include <limits>

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

using detail::LayerTarget;

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

// The watermark and the stamp over a W × H upright photo.
bool drawOverlayOver(const RenderRequest& request, LayerTarget& target) {
    const double width = target.width, height = target.height;
    const Rect photoRect{0, 0, width, height};

    if (!request.timestampEnabled || request.timestamp.empty())
        return detail::drawWatermark(request, target, photoRect, std::nullopt);

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
    if (!detail::drawWatermark(request, target, photoRect, placement.rect)) return false;

    const double s = placement.scale;
    const bool shadowed = style.backing == StampBacking::shadow;
    // The stamp's block with its shadow: all the stamp can touch.
    const double reach = detail::inkReach(h, s, shadowed);
    return detail::drawLayer(target, placement.rect.insetBy(-reach, -reach), [&](platform::Canvas& canvas) {
        canvas.save();
        canvas.translate(placement.rect.x + layout.padding.horizontal * s,
                         placement.rect.y + layout.padding.vertical * s);
        canvas.scale(s, s);
        if (style.backing == StampBacking::box)
            canvas.fillRoundedRect(boxBackingRect(text, h), boxBackingRadius(h), black(boxAlpha));
        if (shadowed) {
            // Room for ink a little past the measured bounds (the slant of the last digit).
            const Rect area = Rect{0, 0, text.width, text.height}.insetBy(-0.1 * h, -0.1 * h);
            canvas.beginShadow(platform::Shadow{shadowOffset(h), shadowBlur(h), black(shadowAlpha)}, area);
        }
        if (retro) SevenSegment::draw(request.timestamp, canvas, Point{0, 0}, h, ink);
        else canvas.drawText(*line, ink, Point{0, 0});
        if (shadowed) canvas.endShadow();
        canvas.restore();
    });
}

[[nodiscard]] std::expected<Bitmap, RenderError> drawOverlay(RenderRequest& request) {
    Bitmap photo = uprightCopy(request.image, request.orientation);
    request.image = {};  // a turned photo's stored pixels are no longer needed
    if (photo.empty()) return std::unexpected(RenderError::contextCreationFailed());
    // The upright copy is this render's own, so the stamp is laid straight onto it.
    LayerTarget target{&photo, 0, 0, photo.width, photo.height, nullptr};
    if (!drawOverlayOver(request, target)) return std::unexpected(RenderError::contextCreationFailed());
    return photo;
}

// The request as every render works on it, or the failure found before any drawing.
[[nodiscard]] std::expected<RenderRequest, RenderError> prepared(RenderRequest&& request) {
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
    if (work.style.theme == StampTheme::retro && drawsTimestamp(work)) {
        std::string offending = settings::unsupportedRetroCharacters(work.timestamp);
        if (!offending.empty()) return std::unexpected(RenderError::unrenderableText(std::move(offending)));
    }
    return work;
}

// The request without its pixels, for the planning and window entry points.
RenderRequest withoutImage(const RenderRequest& request) {
    RenderRequest copy;
    copy.orientation = request.orientation;
    copy.timestamp = request.timestamp;
    copy.style = request.style;
    copy.strip = request.strip;
    copy.exif = request.exif;
    copy.watermark = request.watermark;
    copy.watermarkImage = request.watermarkImage;
    copy.timestampEnabled = request.timestampEnabled;
    copy.recordText = request.recordText;
    return copy;
}

// Draws everything but the photo onto the target; its size is the output's.
bool drawOver(const RenderRequest& work, LayerTarget& target, int width, int height) {
    if (work.style.mode == StampMode::dataStrip) return detail::drawStripOver(work, target, width, height);
    return drawOverlayOver(work, target);
}

struct OutputSize {
    int width = 0, height = 0, photoHeight = 0;
};

std::optional<OutputSize> outputSize(const RenderRequest& work, int storedWidth, int storedHeight) {
    if (storedWidth <= 0 || storedHeight <= 0) return std::nullopt;
    const bool swap = swapsDimensions(work.orientation);
    const int width = swap ? storedHeight : storedWidth;
    const int height = swap ? storedWidth : storedHeight;
    if (work.style.mode != StampMode::dataStrip) return OutputSize{width, height, height};
    const int band = detail::stripHeight(work, width, height);
    if (height > std::numeric_limits<int>::max() - band) return std::nullopt;
    return OutputSize{width, height + band, height};
}

}  // namespace

std::expected<Bitmap, RenderError> Renderer::render(const RenderRequest& request) {
    // Fails before the photo is copied.
    if (request.watermark && request.watermark->source.imageValue() != nullptr && !request.watermarkImage)
        return std::unexpected(RenderError::watermarkImageMissing());
    return render(RenderRequest(request));
}

std::expected<Bitmap, RenderError> Renderer::render(RenderRequest&& request) {
    auto prepare = prepared(std::move(request));
    if (!prepare) return std::unexpected(prepare.error());
    RenderRequest& work = *prepare;

    const Bitmap& image = work.image;
    if (image.empty() || image.stride < static_cast<std::size_t>(image.width) * 4)
        return std::unexpected(RenderError::contextCreationFailed());

    const bool swap = swapsDimensions(work.orientation);
    const int width = swap ? image.height : image.width;
    const int height = swap ? image.width : image.height;
    if (work.style.mode == StampMode::dataStrip) return detail::drawDataStrip(work, width, height);
    return drawOverlay(work);
}

std::expected<DrawingPlan, RenderError> Renderer::plan(const RenderRequest& request, int storedWidth,
                                                       int storedHeight) {
    auto prepare = prepared(withoutImage(request));
    if (!prepare) return std::unexpected(prepare.error());
    const auto size = outputSize(*prepare, storedWidth, storedHeight);
    if (!size) return std::unexpected(RenderError::contextCreationFailed());
    DrawingPlan result{size->width, size->height, size->photoHeight, {}};
    LayerTarget target{nullptr, 0, 0, size->width, size->height, &result.areas};
    if (!drawOver(*prepare, target, size->width, size->photoHeight))
        return std::unexpected(RenderError::contextCreationFailed());
    return result;
}

std::expected<void, RenderError> Renderer::renderWindow(const RenderRequest& request, int storedWidth,
                                                        int storedHeight, Bitmap& window, int left, int top) {
    auto prepare = prepared(withoutImage(request));
    if (!prepare) return std::unexpected(prepare.error());
    const auto size = outputSize(*prepare, storedWidth, storedHeight);
    if (!size || window.empty()) return std::unexpected(RenderError::contextCreationFailed());
    LayerTarget target{&window, left, top, size->width, size->height, nullptr};
    if (!drawOver(*prepare, target, size->width, size->photoHeight))
        return std::unexpected(RenderError::contextCreationFailed());
    return {};
}

}  // namespace veltrop::render
