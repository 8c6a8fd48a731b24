#include "kit/render/renderer.h"

#include <cstring>

#include "kit/render/drawing.h"
#include "kit/render/seven_segment.h"
#include "kit/render/stamp_layout.h"
#include "kit/settings/stamp_format.h"

namespace veltrop::render {

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

namespace {

bool swapsSides(Orientation orientation) { return orientation >= 5 && orientation <= 8; }

// Stored pixel (x, y) read for upright pixel (X, Y): x = xFromX·X + xFromY·Y + x0, likewise y.
struct SourceMap {
    std::ptrdiff_t xFromX, xFromY, x0, yFromX, yFromY, y0;
};

SourceMap sourceMap(Orientation orientation, std::ptrdiff_t w, std::ptrdiff_t h) {
    switch (orientation) {
        case 2: return {-1, 0, w - 1, 0, 1, 0};
        case 3: return {-1, 0, w - 1, 0, -1, h - 1};
        case 4: return {1, 0, 0, 0, -1, h - 1};
        case 5: return {0, 1, 0, 1, 0, 0};
        case 6: return {0, 1, 0, -1, 0, h - 1};
        case 7: return {0, -1, w - 1, -1, 0, h - 1};
        case 8: return {0, -1, w - 1, 1, 0, 0};
        default: return {1, 0, 0, 0, 1, 0};
    }
}

}  // namespace

// The stored pixels turned upright: a new bitmap the caller may draw on.
// Empty when memory runs out.
Bitmap upright(const Bitmap& image, Orientation orientation) {
    const bool swap = swapsSides(orientation);
    auto result = Bitmap::allocate(swap ? image.height : image.width, swap ? image.width : image.height);
    if (!result) return {};
    if (orientation < 2 || orientation > 8) {
        for (int y = 0; y < image.height; ++y)
            std::memcpy(result->row(y), image.row(y), static_cast<std::size_t>(image.width) * 4);
        return *result;
    }
    const SourceMap map = sourceMap(orientation, image.width, image.height);
    const auto* source = reinterpret_cast<const std::uint32_t*>(image.pixels.get());
    const auto sourceStride = static_cast<std::ptrdiff_t>(image.stride / 4);
    const std::ptrdiff_t step = map.xFromX + map.yFromX * sourceStride;
    for (int Y = 0; Y < result->height; ++Y) {
        auto* target = reinterpret_cast<std::uint32_t*>(result->row(Y));
        const std::uint32_t* from = source + (map.xFromY * Y + map.x0) + (map.yFromY * Y + map.y0) * sourceStride;
        for (int X = 0; X < result->width; ++X, from += step) target[X] = *from;
    }
    return *result;
}

platform::Font fontForCapHeight(double capHeight) {
    constexpr double referenceSize = 100;
    const double ratio = platform::capHeight(platform::stampFont(referenceSize)) / referenceSize;
    return platform::stampFont(ratio > 0 ? capHeight / ratio : capHeight);
}

}  // namespace detail

namespace {

constexpr settings::Color black(double alpha) { return {0, 0, 0, alpha}; }

bool drawsTimestamp(const RenderRequest& request) {
    return request.timestampEnabled &&
           (request.style.mode == StampMode::overlay || request.strip.showTimestamp);
}

std::expected<Bitmap, RenderError> finished(platform::Canvas& canvas) {
    auto bitmap = canvas.finish();
    if (!bitmap) return std::unexpected(RenderError::contextCreationFailed());
    return std::move(*bitmap);
}

std::expected<Bitmap, RenderError> drawOverlay(const RenderRequest& request) {
    Bitmap photo = detail::upright(request.image, request.orientation);
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
        // Generous room: ink may stray a little past the measured bounds (slanted digits).
        const Rect area = Rect{0, 0, text.width, text.height}.insetBy(-h, -h);
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

    RenderRequest work = request;
    // Without a timestamp there is no strip: at most a watermark on the photo.
    if (!work.timestampEnabled) work.style.mode = StampMode::overlay;
    if (work.orientation < 1 || work.orientation > 8) work.orientation = 1;

    const Bitmap& image = work.image;
    if (image.empty() || image.stride < static_cast<std::size_t>(image.width) * 4)
        return std::unexpected(RenderError::contextCreationFailed());

    if (work.style.theme == StampTheme::retro && drawsTimestamp(work)) {
        std::string offending = settings::unsupportedRetroCharacters(work.timestamp);
        if (!offending.empty()) return std::unexpected(RenderError::unrenderableText(std::move(offending)));
    }

    const bool swap = work.orientation >= 5;
    const int width = swap ? image.height : image.width;
    const int height = swap ? image.width : image.height;
    if (work.style.mode == StampMode::dataStrip) return detail::drawDataStrip(work, width, height);
    return drawOverlay(work);
}

}  // namespace veltrop::render
