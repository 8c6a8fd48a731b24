#include <optional>

#include "kit/render/drawing.h"
#include "kit/render/stamp_layout.h"

namespace veltrop::render::detail {

using image::Bitmap;
using image::Point;
using image::Size;
using image::Rect;

using settings::StampBacking;

void drawWatermark(const RenderRequest& request, platform::Canvas& canvas, const Rect& photo,
                   const std::optional<Rect>& timestamp) {
    if (!request.watermark) return;
    const settings::WatermarkConfig& watermark = *request.watermark;
    const double hw = watermarkContentHeight(watermark.sizeFraction, photo.width, photo.height);

    const Bitmap* logo = nullptr;
    std::optional<platform::TextLine> line;
    Size content;
    Padding padding;
    if (watermark.source.imageValue() != nullptr) {
        if (!request.watermarkImage || request.watermarkImage->empty()) return;
        logo = &*request.watermarkImage;
        content = {hw * logo->width / logo->height, hw};
    } else if (const std::string* text = watermark.source.textValue()) {
        const std::string trimmedText = dates::trimmed(*text);
        if (trimmedText.empty()) return;
        line.emplace(trimmedText, fontForCapHeight(hw));
        content = line->size();
        padding = backingPadding(watermark.backing, hw);
    } else {
        return;
    }

    const Size block{content.width + 2 * padding.horizontal, content.height + 2 * padding.vertical};
    const Placement placement =
        placeWatermark(block, photo, request.style.marginFraction, watermark.corner, timestamp);
    const double s = placement.scale;
    if (!(s > 0)) return;

    canvas.save();
    canvas.translate(placement.rect.x + padding.horizontal * s, placement.rect.y + padding.vertical * s);
    canvas.scale(s, s);
    canvas.setGlobalAlpha(watermarkOpacity(watermark.opacity));
    if (logo != nullptr) {
        canvas.drawBitmap(*logo, 1, Rect{0, 0, content.width, content.height});
    } else {
        if (watermark.backing == StampBacking::box)
            canvas.fillRoundedRect(boxBackingRect(content, hw), boxBackingRadius(hw), {0, 0, 0, boxAlpha});
        const bool shadowed = watermark.backing == StampBacking::shadow;
        if (shadowed) {
            const Rect area = Rect{0, 0, content.width, content.height}.insetBy(-0.1 * hw, -0.1 * hw);
            canvas.beginShadow(platform::Shadow{shadowOffset(hw), shadowBlur(hw), {0, 0, 0, shadowAlpha}}, area);
        }
        canvas.drawText(*line, settings::inkColor(watermark.ink), Point{0, 0});
        if (shadowed) canvas.endShadow();
    }
    canvas.restore();
}

}  // namespace veltrop::render::detail
