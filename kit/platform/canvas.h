#pragma once
// The 2-D drawing and one-line text the renderer needs, over cairo and
// Pango. Coordinates have their origin at the bottom-left corner with y
// pointing up; the adapter turns them into cairo's top-down pixels.
//
// Fonts, lines and canvases are confined to the thread that made them; any
// number of threads may each draw on their own canvases at the same time.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/image/bitmap.h"
#include "kit/image/geometry.h"
#include "kit/settings/stamp_style.h"

namespace veltrop::platform {

// The bold interface font at a size in pixels.
struct Font {
    std::string family;
    double size = 0;
    bool operator==(const Font&) const = default;
};

// fontconfig's bold "sans-serif", or "Helvetica" bold when that cannot be loaded.
Font stampFont(double pixelSize);
// The height of the font's capitals in pixels: the face's own value, or the
// ink height of "H" for faces that do not record one.
double capHeight(const Font& font);

// One line of text laid out once, for measuring and drawing. Line breaks
// inside the text are drawn as spaces.
class TextLine {
public:
    TextLine(std::string_view text, const Font& font);
    ~TextLine();
    TextLine(TextLine&&) noexcept;
    TextLine& operator=(TextLine&&) noexcept;
    TextLine(const TextLine&) = delete;
    TextLine& operator=(const TextLine&) = delete;

    // Width and height of the ink (optical) bounds; zero for an empty text.
    image::Size size() const;

private:
    friend class Canvas;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Optical-bounds size of a text in a font; zero by zero for the empty text.
image::Size textSize(std::string_view text, const Font& font);

// The text's user-perceived characters (grapheme clusters), in order.
std::vector<std::string> characters(std::string_view text);

struct Shadow {
    image::Size offset;  // y up: a negative height falls below the ink
    double blur = 0;      // blur radius; the Gaussian's deviation is half of it
    settings::Color color;
};

class Canvas {
public:
    // Draws straight onto the given pixels, which must be tightly packed.
    static std::optional<Canvas> over(image::Bitmap bitmap);
    // A new transparent canvas.
    static std::optional<Canvas> create(int width, int height);

    ~Canvas();
    Canvas(Canvas&&) noexcept;
    Canvas& operator=(Canvas&&) noexcept;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const;
    int height() const;

    void save();
    void restore();
    void translate(double dx, double dy);
    void scale(double sx, double sy);
    // Multiplies the alpha of everything drawn until the matching restore.
    void setGlobalAlpha(double alpha);

    void fillRect(const image::Rect& rect, const settings::Color& color);
    void fillRoundedRect(const image::Rect& rect, double radius, const settings::Color& color);
    void fillPolygon(std::span<const image::Point> corners, const settings::Color& color);
    // Stretches the bitmap, turned upright by its EXIF orientation, over the rectangle.
    void drawBitmap(const image::Bitmap& bitmap, image::Orientation orientation, const image::Rect& rect);
    // Puts the lower-left corner of the line's optical bounds at `origin`.
    void drawText(const TextLine& line, const settings::Color& color, image::Point origin);

    // Everything drawn until endShadow casts a blurred shadow. `area` (in the
    // current coordinates) must hold all of that drawing.
    void beginShadow(const Shadow& shadow, const image::Rect& area);
    void endShadow();

    // The finished pixels; the canvas is spent afterwards.
    std::optional<image::Bitmap> finish();

private:
    struct Impl;
    explicit Canvas(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace veltrop::platform
