#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "kit/render/drawing.h"
#include "kit/image/orientation.h"
#include "kit/render/seven_segment.h"
#include "kit/render/stamp_layout.h"

namespace veltrop::render::detail {

using image::Bitmap;
using image::Point;
using image::Rect;

namespace {

struct StripColors {
    settings::Color band, text;
};

StripColors stripColors(settings::StripBackground background) {
    if (background == settings::StripBackground::white) return {{0.97, 0.97, 0.97, 1}, {0.1, 0.1, 0.1, 1}};
    return {{0.06, 0.06, 0.07, 1}, {0.95, 0.95, 0.95, 1}};
}

std::string detailsText(const RenderRequest& request) {
    std::vector<std::string> items;
    if (request.strip.showCamera)
        if (auto camera = dates::cameraText(request.exif); camera && !camera->empty()) items.push_back(*camera);
    if (request.strip.showLens && request.exif.lens)
        if (std::string lens = dates::trimmed(*request.exif.lens); !lens.empty()) items.push_back(std::move(lens));
    if (request.strip.showExposure)
        if (auto exposure = dates::exposureText(request.exif); exposure && !exposure->empty())
            items.push_back(*exposure);
    std::string joined;
    for (const auto& item : items) {
        if (!joined.empty()) joined += "   ";
        joined += item;
    }
    return joined;
}

// The text as it fits the limit, with its drawn width.
struct Fitted {
    std::string text;
    double width = 0;
};

Fitted fitted(const std::string& text, const platform::Font& font, double limit) {
    if (text.empty() || !(limit > 0)) return {};
    auto measure = [&](std::string_view candidate) { return platform::textSize(candidate, font).width; };
    Fitted result;
    result.text = shortenedToFit(platform::characters(text), limit, measure);
    if (!result.text.empty()) result.width = measure(result.text);
    return result;
}

}  // namespace

int stripHeight(const RenderRequest& request, int width, int height) {
    const std::string record = request.recordText ? dates::trimmed(*request.recordText) : std::string{};
    return static_cast<int>(stripMetrics(request.style.sizeFraction, width, height, !record.empty()).height);
}

std::expected<Bitmap, RenderError> drawDataStrip(const RenderRequest& request, int width, int height) {
    // The photo fills the top rows, the band the rest; each is drawn on
    // surfaces of its own, so no surface is ever the whole copy's size.
    const int band = stripHeight(request, width, height);
    if (height > std::numeric_limits<int>::max() - band) return std::unexpected(RenderError::contextCreationFailed());
    auto copy = Bitmap::allocate(width, height + band);
    if (!copy) return std::unexpected(RenderError::contextCreationFailed());
    Bitmap top = *copy;
    top.height = height;
    orientInto(request.image, request.orientation, top);
    LayerTarget target{&*copy, 0, 0, width, height + band, nullptr};
    if (!drawStripOver(request, target, width, height)) return std::unexpected(RenderError::contextCreationFailed());
    return std::move(*copy);
}

bool drawStripOver(const RenderRequest& request, LayerTarget& target, int width, int height) {
    const std::string record = request.recordText ? dates::trimmed(*request.recordText) : std::string{};
    const StripMetrics m = stripMetrics(request.style.sizeFraction, width, height, !record.empty());
    const double W = width, H = height, S = m.height, u = m.lineUnit, c = m.capHeight;
    const double p = m.sidePadding, A = m.available, g = m.gap;

    const StripColors colors = stripColors(request.strip.background);
    const Rect photo{0, S, W, H};
    const Rect bandRect{0, 0, W, S};
    if (!drawLayer(target, bandRect, [&](platform::Canvas& canvas) { canvas.fillRect(bandRect, colors.band); }))
        return false;
    if (!drawWatermark(request, target, photo, std::nullopt)) return false;

    const platform::Font font = fontForCapHeight(c);
    const bool retro = request.style.theme == settings::StampTheme::retro;
    const std::string label = trimmedSpaces(request.strip.label);
    const std::string details = detailsText(request);
    const std::string timestamp =
        request.strip.showTimestamp && request.timestampEnabled ? request.timestamp : std::string{};

    std::optional<platform::TextLine> timestampLine;
    double naturalWidth = 0;
    if (!timestamp.empty()) {
        if (retro) {
            naturalWidth = SevenSegment::measure(timestamp, c).width;
        } else {
            timestampLine.emplace(timestamp, font);
            naturalWidth = timestampLine->size().width;
        }
    }
    const double tw = std::min(naturalWidth, 0.42 * A);
    const double ts = naturalWidth > 0 ? tw / naturalWidth : 1;
    const double timestampGap = timestamp.empty() ? 0 : g;

    const double labelAllowance =
        std::min({0.3 * A, std::max(0.0, A - tw - g), platform::textSize(label, font).width});
    const Fitted drawnLabel = label.empty() || labelAllowance <= 0 ? Fitted{} : fitted(label, font, labelAllowance);
    const bool labelDrawn = !drawnLabel.text.empty();
    const double labelGap = labelDrawn ? g : 0;

    const double detailsAllowance =
        std::max(0.0, A - (labelDrawn ? labelAllowance : 0) - tw - labelGap - timestampGap);
    const Fitted drawnDetails = fitted(details, font, detailsAllowance);

    // Centred in the band's upper u pixels, next to the photo.
    const double y = (u - c) / 2 + (S - u);
    const double labelEnd = p + drawnLabel.width + labelGap;
    const double timestampX = W - p - tw;
    const double detailsX =
        labelEnd + std::max(0.0, (timestampX - timestampGap - labelEnd - drawnDetails.width) / 2);
    // Laid out once, drawn on every surface the band takes.
    std::optional<platform::TextLine> labelLine, detailsLine, recordLine;
    if (labelDrawn) labelLine.emplace(drawnLabel.text, font);
    if (!drawnDetails.text.empty()) detailsLine.emplace(drawnDetails.text, font);
    if (!record.empty()) {
        const platform::Font recordFont = fontForCapHeight(0.8 * c);
        const Fitted drawnRecord = fitted(record, recordFont, A);
        if (!drawnRecord.text.empty()) recordLine.emplace(drawnRecord.text, recordFont);
    }

    return drawLayer(target, bandRect, [&](platform::Canvas& canvas) {
        if (labelLine) canvas.drawText(*labelLine, colors.text, Point{p, y});
        if (detailsLine) canvas.drawText(*detailsLine, colors.text, Point{detailsX, y});
        if (!timestamp.empty()) {
            canvas.save();
            // A shrunken timestamp stays centred on the line.
            canvas.translate(timestampX, y + c * (1 - ts) / 2);
            canvas.scale(ts, ts);
            if (retro) SevenSegment::draw(timestamp, canvas, Point{0, 0}, c, colors.text);
            else canvas.drawText(*timestampLine, colors.text, Point{0, 0});
            canvas.restore();
        }
        if (recordLine) canvas.drawText(*recordLine, colors.text, Point{p, 0.22 * u});
    });
}

}  // namespace veltrop::render::detail
