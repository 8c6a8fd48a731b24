#pragma once
// Turns one decoded photo and a description of the stamp into a new bitmap:
// the photo upright, with the capture-date stamp, the optional watermark and,
// in data-strip mode, a band of text added below it.

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/dates/exif_fields.h"
#include "kit/render/image_types.h"
#include "kit/settings/configuration_members.h"
#include "kit/settings/stamp_style.h"

namespace veltrop {

// The logic module's published version.
inline constexpr std::string_view moduleVersion = "1.0.0";

}  // namespace veltrop

namespace veltrop::render {

struct RenderRequest {
    image::Bitmap image;                 // pixels as stored in the file
    image::Orientation orientation = 1;  // EXIF orientation; anything outside 1–8 counts as upright
    std::string timestamp;          // the capture date formatted through the pattern
    settings::StampStyle style;
    settings::DataStripConfig strip;
    dates::ExifFields exif;
    std::optional<settings::WatermarkConfig> watermark;
    std::optional<image::Bitmap> watermarkImage;  // the decoded logo of an image watermark
    bool timestampEnabled = true;
    std::optional<std::string> recordText;  // the data strip's photo-record line
};

struct RenderError {
    enum class Kind { unrenderableText, contextCreationFailed, watermarkImageMissing };
    Kind kind = Kind::contextCreationFailed;
    std::string characters;  // unrenderableText: the characters the retro display lacks, in order

    static RenderError unrenderableText(std::string offending) { return {Kind::unrenderableText, std::move(offending)}; }
    static RenderError contextCreationFailed() { return {Kind::contextCreationFailed, {}}; }
    static RenderError watermarkImageMissing() { return {Kind::watermarkImageMissing, {}}; }

    std::string description() const;
    bool operator==(const RenderError&) const = default;
};

// What a render draws, worked out without pixels: the output's size and
// every pixel area the drawing may change. Pixels outside the areas are the
// upright photo's own (or, below the photo, the strip's band).
struct DrawingPlan {
    int width = 0;
    int height = 0;       // with the strip, if any
    int photoHeight = 0;  // the upright photo's rows at the top
    std::vector<PixelRect> areas;
    bool operator==(const DrawingPlan&) const = default;
};

// Stateless; any number of renders may run at once on different threads.
class Renderer {
public:
    // The plan of render() for a photo stored storedWidth × storedHeight;
    // the request's image is not looked at.
    [[nodiscard]] static std::expected<DrawingPlan, RenderError> plan(const RenderRequest& request, int storedWidth,
                                                                      int storedHeight);
    // Draws what render() draws onto one window of the output: `window`
    // holds the output's pixels from (left, top) on, the upright photo
    // already in place. The request's image is not looked at.
    [[nodiscard]] static std::expected<void, RenderError> renderWindow(const RenderRequest& request, int storedWidth,
                                                                       int storedHeight, Bitmap& window, int left,
                                                                       int top);

    [[nodiscard]] static std::expected<Bitmap, RenderError> render(const RenderRequest& request);
    // The same, for a request whose image the caller gives up: an upright
    // photo held nowhere else is then stamped in place instead of copied.
    [[nodiscard]] static std::expected<image::Bitmap, RenderError> render(RenderRequest&& request);
};

}  // namespace veltrop::render
