#pragma once
// The geometry of the stamp, the watermark and the data strip: pure numbers,
// no drawing, so that placement can be reasoned about and tested alone.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/image/geometry.h"
#include "kit/settings/stamp_style.h"

namespace veltrop::render {

// Space kept around the ink by each backing, for a text whose capitals are h tall.
struct Padding {
    double horizontal = 0, vertical = 0;
    bool operator==(const Padding&) const = default;
};
Padding backingPadding(settings::StampBacking backing, double h);

// Box backing: the rounded rectangle around a text of the given size, in the
// text's own coordinates (its optical bounds start at the origin).
image::Rect boxBackingRect(image::Size text, double h);
double boxBackingRadius(double h);
// Shadow backing: offset (y up) and blur radius.
image::Size shadowOffset(double h);
double shadowBlur(double h);
inline constexpr double shadowAlpha = 0.85;
inline constexpr double boxAlpha = 0.45;

// The distance kept from the photo's edges: never negative, at most a fifth of the shorter side.
double usedMargin(double marginFraction, double width, double height);

struct Placement {
    image::Rect rect;  // the block after scaling, in canvas coordinates
    double scale = 1;  // never above 1
    bool operator==(const Placement&) const = default;
};
// Shrinks a block to fit the area if needed and puts it in the area's corner.
Placement placeInCorner(image::Size block, const image::Rect& area, settings::StampCorner corner);

// The overlay stamp on a W × H photo, for a text of the measured size whose capitals are h tall.
struct StampLayout {
    double textHeight = 0;
    Padding padding;
    image::Rect safe;
    Placement placement;
    bool operator==(const StampLayout&) const = default;
};
StampLayout stampLayout(const settings::StampStyle& style, double width, double height, image::Size text);

// The watermark's block inside the photo rectangle, kept clear of the
// timestamp's rectangle when one is given.
Placement placeWatermark(image::Size block, const image::Rect& photo, double marginFraction, settings::StampCorner corner,
                         const std::optional<image::Rect>& timestamp);
double watermarkContentHeight(double sizeFraction, double width, double height);
double watermarkOpacity(double opacity);

// The data strip's sizes for a W × H photo.
struct StripMetrics {
    double lineUnit = 0;      // u
    double height = 0;        // S
    double capHeight = 0;     // c
    double sidePadding = 0;   // p
    double available = 0;     // A
    double gap = 0;           // g
    bool operator==(const StripMetrics&) const = default;
};
StripMetrics stripMetrics(double sizeFraction, double width, double height, bool hasRecordLine);

// White space trimmed from both ends; line breaks are kept.
std::string trimmedSpaces(std::string_view text);

// The longest start of the text that fits the width with "…" appended, or
// the text itself when it fits; empty when nothing fits. `characters` are the
// text's characters in order; `width` measures a candidate.
std::string shortenedToFit(const std::vector<std::string>& characters, double limit,
                           const std::function<double(std::string_view)>& width);

}  // namespace veltrop::render
