#include "kit/render/stamp_layout.h"

#include <algorithm>
#include <cmath>

#include "kit/render/image_types.h"

namespace veltrop::render {

using image::Size;
using image::Rect;
using image::decodeCodePoint;

using settings::StampBacking;
using settings::StampCorner;

Padding backingPadding(StampBacking backing, double h) {
    switch (backing) {
        case StampBacking::none: return {0, 0};
        case StampBacking::shadow: return {0.3 * h, 0.36 * h};
        case StampBacking::box: return {0.45 * h, 0.315 * h};
    }
    return {0, 0};
}

Rect boxBackingRect(Size text, double h) {
    return {-0.45 * h, -0.315 * h, text.width + 0.9 * h, text.height + 0.63 * h};
}
double boxBackingRadius(double h) { return 0.27 * h; }
Size shadowOffset(double h) { return {0, -0.06 * h}; }
double shadowBlur(double h) { return 0.22 * h; }

double usedMargin(double marginFraction, double width, double height) {
    const double shorter = std::min(width, height);
    return std::min(std::max(0.0, shorter * marginFraction), 0.2 * shorter);
}

Placement placeInCorner(Size block, const Rect& area, StampCorner corner) {
    const double sx = area.width / std::max(block.width, 0.001);
    const double sy = area.height / std::max(block.height, 0.001);
    const double s = std::max(0.0, std::min({sx, sy, 1.0}));
    const double w = block.width * s, h = block.height * s;
    const double x = settings::isLeft(corner) ? area.minX() : area.maxX() - w;
    const double y = settings::isTop(corner) ? area.maxY() - h : area.minY();
    return {Rect{x, y, w, h}, s};
}

StampLayout stampLayout(const settings::StampStyle& style, double width, double height, Size text) {
    StampLayout layout;
    layout.textHeight = settings::stampTextHeight(style, width, height);
    layout.padding = backingPadding(style.backing, layout.textHeight);
    const double margin = usedMargin(style.marginFraction, width, height);
    layout.safe = Rect{0, 0, width, height}.insetBy(margin, margin);
    const Size block{text.width + 2 * layout.padding.horizontal, text.height + 2 * layout.padding.vertical};
    layout.placement = placeInCorner(block, layout.safe, style.corner);
    return layout;
}

Placement placeWatermark(Size block, const Rect& photo, double marginFraction, StampCorner corner,
                         const std::optional<Rect>& timestamp) {
    const double shorter = std::min(photo.width, photo.height);
    const double margin = usedMargin(marginFraction, photo.width, photo.height);
    const Rect safe = photo.insetBy(margin, margin);
    Placement placement = placeInCorner(block, safe, corner);
    if (!timestamp) return placement;

    const double clearance = 0.015 * shorter;
    const Rect avoid = timestamp->insetBy(-clearance, -clearance);
    if (!placement.rect.intersects(avoid)) return placement;

    // Move inward, away from the corner's edge, into the part of the safe
    // rectangle on the far side of the timestamp.
    Rect region{safe.minX(), 0, safe.width, 0};
    if (settings::isTop(corner)) {
        region.y = safe.minY();
        region.height = std::max(0.0, avoid.minY() - safe.minY());
    } else {
        region.y = std::min(safe.maxY(), avoid.maxY());
        region.height = std::max(0.0, safe.maxY() - avoid.maxY());
    }
    return placeInCorner(block, region, corner);
}

double watermarkContentHeight(double sizeFraction, double width, double height) {
    return std::min(width, height) * std::clamp(sizeFraction, 0.02, 0.2);
}

double watermarkOpacity(double opacity) { return std::clamp(opacity, 0.15, 1.0); }

StripMetrics stripMetrics(double sizeFraction, double width, double height, bool hasRecordLine) {
    StripMetrics metrics;
    const double fraction = std::clamp(sizeFraction, settings::StampStyle::minimumSizeFraction,
                                       settings::StampStyle::maximumSizeFraction);
    metrics.lineUnit = std::round(std::min(width, height) * fraction * 2.6);
    metrics.height = hasRecordLine ? std::round(1.75 * metrics.lineUnit) : metrics.lineUnit;
    metrics.capHeight = 0.26 * metrics.lineUnit;
    metrics.sidePadding = 0.34 * metrics.lineUnit;
    metrics.available = width - 2 * metrics.sidePadding;
    metrics.gap = 0.3 * metrics.lineUnit;
    return metrics;
}

std::string trimmedSpaces(std::string_view text) {
    return std::string(trimmedBy(text, [](char32_t c) { return isSpace(c); }));
}

std::string shortenedToFit(const std::vector<std::string>& characters, double limit,
                           const std::function<double(std::string_view)>& width) {
    std::string whole;
    for (const auto& character : characters) whole += character;
    if (whole.empty() || width(whole) <= limit) return whole;

    // The candidate keeping the first `kept` characters, or nothing when no text remains.
    auto candidate = [&](std::size_t kept) {
        std::string start;
        for (std::size_t i = 0; i < kept; ++i) start += characters[i];
        start = trimmedSpaces(start);
        return start.empty() ? std::string{} : start + "\u2026";
    };
    auto fits = [&](std::size_t kept) {
        const std::string text = candidate(kept);
        return !text.empty() && width(text) <= limit;
    };

    // Widths grow with the kept length, so a binary search finds the
    // boundary; the few candidates just above it are still tried first in
    // case kerning or trimming makes the growth uneven.
    std::size_t low = 0, high = characters.size() - 1;
    while (low < high) {
        const std::size_t middle = low + (high - low + 1) / 2;
        if (fits(middle)) low = middle;
        else high = middle - 1;
    }
    constexpr std::size_t lookAbove = 4;
    const std::size_t top = std::min(characters.size() - 1, low + lookAbove);
    for (std::size_t kept = top; kept >= std::max<std::size_t>(low, 1); --kept)
        if (fits(kept)) return candidate(kept);
    return {};
}

}  // namespace veltrop::render
