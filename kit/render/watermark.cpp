#include <optional>

#include "kit/render/drawing.h"
#include "kit/render/stamp_layout.h"

namespace veltrop::render::detail {

using image::Bitmap;
using image::Point;
using image::Size;
using image::Rect;

using settings::StampBacking;

bool drawWatermark(const RenderRequest& request, LayerTarget& target, const Rect& photo,
                   const std::optional<Rect>& timestamp) {
    if (!request.watermark) return true;
    const settings::WatermarkConfig& watermark = *request.watermark;
    const double hw = watermarkContentHeight(watermark.sizeFraction, photo.width, photo.height);

    const Bitmap* logo = nullptr;
    std::optional<platform::TextLine> line;
    Size content;
    Padding padding;
    if (watermark.source.imageValue() != nullptr) {
        if (!request.watermarkImage || request.watermarkImage->empty()) return true;
        logo = &*request.watermarkImage;
        content = {hw * logo->width / logo->height, hw};
    } else if (const std::string* text = watermark.source.textValue()) {
        const std::string trimmedText = dates::trimmed(*text);
        if (trimmedText.empty()) return true;
        line.emplace(trimmedText, fontForCapHeight(hw));
        content = line->size();
        padding = backingPadding(watermark.backing, hw);
    } else {
        return true;
    }

    const Size block{content.width + 2 * padding.horizontal, content.height + 2 * padding.vertical};
    const Placement placement =
        placeWatermark(block, photo, request.style.marginFraction, watermark.corner, timestamp);
    const double s = placement.scale;
    if (!(s > 0)) return true;

    const bool shadowed = logo == nullptr && watermark.backing == StampBacking::shadow;
    const double reach = logo != nullptr ? 1 : inkReach(hw, s, shadowed);
    const Rect area = placement.rect.insetBy(-reach, -reach);
    return drawLayer(target, area, [&](platform::Canvas& canvas) {
        canvas.save();
        canvas.translate(placement.rect.x + padding.horizontal * s, placement.rect.y + padding.vertical * s);
        canvas.scale(s, s);
        canvas.setGlobalAlpha(watermarkOpacity(watermark.opacity));
        if (logo != nullptr) {
            canvas.drawBitmap(*logo, 1, Rect{0, 0, content.width, content.height});
        } else {
            if (watermark.backing == StampBacking::box)
                canvas.fillRoundedRect(boxBackingRect(content, hw), boxBackingRadius(hw), {0, 0, 0, boxAlpha});
            if (shadowed) {
                const Rect ink = Rect{0, 0, content.width, content.height}.insetBy(-0.1 * hw, -0.1 * hw);
                canvas.beginShadow(platform::Shadow{shadowOffset(hw), shadowBlur(hw), {0, 0, 0, shadowAlpha}}, ink);
            }
            canvas.drawText(*line, settings::inkColor(watermark.ink), Point{0, 0});
            if (shadowed) canvas.endShadow();
        }
        canvas.restore();
    });
}

}  // namespace veltrop::render::detail
