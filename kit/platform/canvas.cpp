// The cairo surface: drawing, pictures and shadows over a bitmap.
#include "kit/platform/canvas.h"

#include <cairo.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "kit/image/blur.h"
#include "kit/platform/text_layout_detail.h"

namespace veltrop::platform {

namespace {

// cairo refuses image surfaces beyond this side length.
constexpr int largestSide = 32767;

}  // namespace

// ---------------------------------------------------------------- canvas

namespace {

// The scratch surface a shadow's ink goes to until it is composited; it
// owns the surface and its context, so it moves but is never copied.
struct ShadowScope {
    Shadow shadow;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    int x = 0, y = 0;  // device position of the scratch surface
    double deviceScale = 1;
    image::Size deviceOffset;

    ShadowScope() = default;
    ~ShadowScope() {
        if (cr != nullptr) cairo_destroy(cr);
        if (surface != nullptr) cairo_surface_destroy(surface);
    }
    ShadowScope(ShadowScope&& other) noexcept
        : shadow(other.shadow), surface(std::exchange(other.surface, nullptr)), cr(std::exchange(other.cr, nullptr)),
          x(other.x), y(other.y), deviceScale(other.deviceScale), deviceOffset(other.deviceOffset) {}
    ShadowScope& operator=(ShadowScope&&) = delete;
    ShadowScope(const ShadowScope&) = delete;
    ShadowScope& operator=(const ShadowScope&) = delete;
};

cairo_matrix_t orientationMatrix(image::Orientation orientation, double width, double height) {
    // Maps stored pixel coordinates (y down) to upright ones.
    cairo_matrix_t m;
    switch (orientation) {
        case 2: cairo_matrix_init(&m, -1, 0, 0, 1, width, 0); break;
        case 3: cairo_matrix_init(&m, -1, 0, 0, -1, width, height); break;
        case 4: cairo_matrix_init(&m, 1, 0, 0, -1, 0, height); break;
        case 5: cairo_matrix_init(&m, 0, 1, 1, 0, 0, 0); break;
        case 6: cairo_matrix_init(&m, 0, 1, -1, 0, height, 0); break;
        case 7: cairo_matrix_init(&m, 0, -1, -1, 0, height, width); break;
        case 8: cairo_matrix_init(&m, 0, -1, 1, 0, 0, width); break;
        default: cairo_matrix_init_identity(&m); break;
    }
    return m;
}

bool swapsSides(image::Orientation orientation) { return orientation >= 5 && orientation <= 8; }

bool isWhole(double value) { return std::abs(value - std::round(value)) < 1e-9; }

}  // namespace

struct Canvas::Impl {
    image::Bitmap bitmap;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    double alpha = 1;
    std::vector<double> savedAlphas;
    std::optional<ShadowScope> shadow;

    Impl() = default;
    ~Impl() {
        shadow.reset();
        if (cr != nullptr) cairo_destroy(cr);
        if (surface != nullptr) cairo_surface_destroy(surface);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    cairo_t* current() const { return shadow ? shadow->cr : cr; }

    void setColor(const settings::Color& color) const {
        cairo_set_source_rgba(current(), color.red, color.green, color.blue, std::clamp(color.alpha * alpha, 0.0, 1.0));
    }
};

Canvas::Canvas(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Canvas::~Canvas() = default;
Canvas::Canvas(Canvas&&) noexcept = default;
Canvas& Canvas::operator=(Canvas&&) noexcept = default;

std::optional<Canvas> Canvas::over(image::Bitmap bitmap) {
    if (bitmap.empty() || bitmap.width > largestSide || bitmap.height > largestSide) return std::nullopt;
    if (bitmap.stride % 4 != 0 || bitmap.stride < static_cast<std::size_t>(bitmap.width) * 4 ||
        bitmap.stride > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    auto impl = std::make_unique<Impl>();
    impl->bitmap = std::move(bitmap);
    impl->surface = cairo_image_surface_create_for_data(impl->bitmap.pixels.get(), CAIRO_FORMAT_ARGB32,
                                                        impl->bitmap.width, impl->bitmap.height,
                                                        static_cast<int>(impl->bitmap.stride));
    if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    impl->cr = cairo_create(impl->surface);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    // y up, origin at the bottom-left corner.
    cairo_matrix_t flip;
    cairo_matrix_init(&flip, 1, 0, 0, -1, 0, impl->bitmap.height);
    cairo_set_matrix(impl->cr, &flip);
    cairo_set_antialias(impl->cr, CAIRO_ANTIALIAS_GRAY);
    cairo_set_fill_rule(impl->cr, CAIRO_FILL_RULE_WINDING);
    return Canvas(std::move(impl));
}

std::optional<Canvas> Canvas::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) return std::nullopt;
    auto bitmap = image::Bitmap::allocate(width, height);
    if (!bitmap) return std::nullopt;
    std::memset(bitmap->pixels.get(), 0, bitmap->stride * static_cast<std::size_t>(height));
    return over(std::move(*bitmap));
}

int Canvas::width() const { return impl_->bitmap.width; }
int Canvas::height() const { return impl_->bitmap.height; }

void Canvas::save() {
    cairo_save(impl_->current());
    impl_->savedAlphas.push_back(impl_->alpha);
}

void Canvas::restore() {
    cairo_restore(impl_->current());
    if (!impl_->savedAlphas.empty()) {
        impl_->alpha = impl_->savedAlphas.back();
        impl_->savedAlphas.pop_back();
    }
}

void Canvas::translate(double dx, double dy) { cairo_translate(impl_->current(), dx, dy); }
void Canvas::scale(double sx, double sy) { cairo_scale(impl_->current(), sx, sy); }
void Canvas::setGlobalAlpha(double alpha) { impl_->alpha = std::clamp(alpha, 0.0, 1.0); }

void Canvas::fillRect(const image::Rect& rect, const settings::Color& color) {
    cairo_t* cr = impl_->current();
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    impl_->setColor(color);
    cairo_fill(cr);
}

void Canvas::fillRoundedRect(const image::Rect& rect, double radius, const settings::Color& color) {
    if (!(rect.width > 0) || !(rect.height > 0)) return;
    const double r = std::clamp(radius, 0.0, std::min(rect.width, rect.height) / 2);
    cairo_t* cr = impl_->current();
    cairo_new_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc(cr, rect.maxX() - r, rect.minY() + r, r, -M_PI / 2, 0);
    cairo_arc(cr, rect.maxX() - r, rect.maxY() - r, r, 0, M_PI / 2);
    cairo_arc(cr, rect.minX() + r, rect.maxY() - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, rect.minX() + r, rect.minY() + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
    impl_->setColor(color);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
}

void Canvas::fillPolygon(std::span<const image::Point> corners, const settings::Color& color) {
    if (corners.size() < 3) return;
    cairo_t* cr = impl_->current();
    cairo_new_path(cr);
    cairo_move_to(cr, corners[0].x, corners[0].y);
    for (std::size_t i = 1; i < corners.size(); ++i) cairo_line_to(cr, corners[i].x, corners[i].y);
    cairo_close_path(cr);
    impl_->setColor(color);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
}

void Canvas::drawBitmap(const image::Bitmap& bitmap, image::Orientation orientation, const image::Rect& rect) {
    if (bitmap.empty() || !(rect.width > 0) || !(rect.height > 0)) return;
    if (bitmap.stride % 4 != 0 || bitmap.stride > static_cast<std::size_t>(std::numeric_limits<int>::max())) return;
    // cairo only reads the source pixels here.
    cairo_surface_t* source = cairo_image_surface_create_for_data(
        const_cast<std::uint8_t*>(bitmap.pixels.get()), CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height,
        static_cast<int>(bitmap.stride));
    if (cairo_surface_status(source) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(source);
        return;
    }
    const double storedWidth = bitmap.width, storedHeight = bitmap.height;
    const double uprightWidth = swapsSides(orientation) ? storedHeight : storedWidth;
    const double uprightHeight = swapsSides(orientation) ? storedWidth : storedHeight;

    cairo_t* cr = impl_->current();
    cairo_save(cr);
    // Upright pixel space has its top row at the rectangle's top edge.
    cairo_translate(cr, rect.x, rect.y + rect.height);
    cairo_scale(cr, rect.width / uprightWidth, -rect.height / uprightHeight);
    const cairo_matrix_t turn = orientationMatrix(orientation, storedWidth, storedHeight);
    cairo_transform(cr, &turn);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);

    cairo_matrix_t toDevice;
    cairo_get_matrix(cr, &toDevice);
    const bool pixelExact = isWhole(toDevice.xx) && isWhole(toDevice.yx) && isWhole(toDevice.xy) &&
                            isWhole(toDevice.yy) && isWhole(toDevice.x0) && isWhole(toDevice.y0);
    cairo_pattern_set_filter(pattern, pixelExact ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_new_path(cr);
    cairo_rectangle(cr, 0, 0, storedWidth, storedHeight);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, impl_->alpha);
    cairo_restore(cr);
    cairo_surface_destroy(source);
}

void Canvas::drawText(const TextLine& line, const settings::Color& color, image::Point origin) {
    if (line.impl_->empty) return;
    const PangoRectangle& ink = line.impl_->ink;
    cairo_t* cr = impl_->current();
    cairo_save(cr);
    cairo_translate(cr, origin.x, origin.y);
    cairo_scale(cr, 1, -1);  // Pango lays out downwards
    cairo_new_path(cr);
    cairo_move_to(cr, -static_cast<double>(ink.x) / PANGO_SCALE,
                  -static_cast<double>(ink.y + ink.height) / PANGO_SCALE);
    impl_->setColor(color);
    pango_cairo_show_layout(cr, line.impl_->layout);
    cairo_restore(cr);
}

void Canvas::beginShadow(const Shadow& shadow, const image::Rect& area) {
    assert(!impl_->shadow && "shadows do not nest");
    if (impl_->shadow) return;
    cairo_t* cr = impl_->cr;

    // The area's extent on the device.
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    for (auto [ux, uy] : {std::pair{area.minX(), area.minY()}, std::pair{area.maxX(), area.minY()},
                          std::pair{area.maxX(), area.maxY()}, std::pair{area.minX(), area.maxY()}}) {
        cairo_user_to_device(cr, &ux, &uy);
        minX = std::min(minX, ux), maxX = std::max(maxX, ux);
        minY = std::min(minY, uy), maxY = std::max(maxY, uy);
    }
    // Offset and blur follow the current transform, like the drawing they belong to.
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    const double deviceScale = std::sqrt(std::abs(m.xx * m.yy - m.xy * m.yx));
    double offsetX = shadow.offset.width, offsetY = shadow.offset.height;
    cairo_user_to_device_distance(cr, &offsetX, &offsetY);
    // Whole pixels keep the composite on cairo's fast path; half a pixel of a soft shadow does not show.
    offsetX = std::round(offsetX), offsetY = std::round(offsetY);
    const double sigma = std::max(0.0, shadow.blur) * deviceScale / 2;
    int reach = 2;
    for (int width : image::boxBlurWidths(sigma)) reach += (width - 1) / 2;

    // Ink beyond the canvas can still cast a shadow onto it.
    const double spare = reach + std::abs(offsetX) + std::abs(offsetY);
    const double left = std::max(std::floor(minX) - reach, -spare);
    const double top = std::max(std::floor(minY) - reach, -spare);
    const double right = std::min(std::ceil(maxX) + reach, width() + spare);
    const double bottom = std::min(std::ceil(maxY) + reach, height() + spare);

    ShadowScope scope;
    scope.shadow = shadow;
    scope.deviceScale = deviceScale;
    scope.deviceOffset = {offsetX, offsetY};
    const bool fits = right > left && bottom > top && right - left <= largestSide && bottom - top <= largestSide;
    const int scratchWidth = fits ? static_cast<int>(right - left) : 1;
    const int scratchHeight = fits ? static_cast<int>(bottom - top) : 1;
    scope.x = fits ? static_cast<int>(left) : 0;
    scope.y = fits ? static_cast<int>(top) : 0;
    scope.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, scratchWidth, scratchHeight);
    cairo_surface_set_device_offset(scope.surface, -scope.x, -scope.y);
    scope.cr = cairo_create(scope.surface);
    cairo_set_matrix(scope.cr, &m);
    cairo_set_antialias(scope.cr, CAIRO_ANTIALIAS_GRAY);
    cairo_set_fill_rule(scope.cr, CAIRO_FILL_RULE_WINDING);
    impl_->shadow.emplace(std::move(scope));
}

void Canvas::endShadow() {
    if (!impl_->shadow) return;
    ShadowScope scope = std::move(*impl_->shadow);
    impl_->shadow.reset();
    cairo_destroy(std::exchange(scope.cr, nullptr));
    cairo_surface_flush(scope.surface);
    cairo_surface_set_device_offset(scope.surface, 0, 0);

    if (cairo_surface_status(scope.surface) == CAIRO_STATUS_SUCCESS) {
        const int w = cairo_image_surface_get_width(scope.surface);
        const int h = cairo_image_surface_get_height(scope.surface);
        const int stride = cairo_image_surface_get_stride(scope.surface);
        const unsigned char* pixels = cairo_image_surface_get_data(scope.surface);
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
        if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS && pixels != nullptr) {
            cairo_surface_flush(mask);
            unsigned char* coverage = cairo_image_surface_get_data(mask);
            const int maskStride = cairo_image_surface_get_stride(mask);
            for (int y = 0; y < h; ++y) {
                const auto* source = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
                unsigned char* target = coverage + static_cast<std::ptrdiff_t>(y) * maskStride;
                for (int x = 0; x < w; ++x) target[x] = static_cast<unsigned char>(source[x] >> 24);
            }
            image::blurCoverage(coverage, w, h, static_cast<std::size_t>(maskStride),
                                 std::max(0.0, scope.shadow.blur) * scope.deviceScale / 2);
            cairo_surface_mark_dirty(mask);

            cairo_t* cr = impl_->cr;
            cairo_save(cr);
            cairo_identity_matrix(cr);
            cairo_new_path(cr);
            const settings::Color& c = scope.shadow.color;
            cairo_set_source_rgba(cr, c.red, c.green, c.blue, std::clamp(c.alpha, 0.0, 1.0));
            cairo_mask_surface(cr, mask, scope.x + scope.deviceOffset.width, scope.y + scope.deviceOffset.height);
            cairo_set_source_surface(cr, scope.surface, scope.x, scope.y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        cairo_surface_destroy(mask);
    }
}

std::optional<image::Bitmap> Canvas::finish() {
    if (!impl_ || impl_->cr == nullptr) return std::nullopt;
    if (impl_->shadow) endShadow();
    const bool ok = cairo_status(impl_->cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(impl_->cr);
    impl_->cr = nullptr;
    cairo_surface_flush(impl_->surface);
    cairo_surface_finish(impl_->surface);
    cairo_surface_destroy(impl_->surface);
    impl_->surface = nullptr;
    if (!ok) return std::nullopt;
    return std::move(impl_->bitmap);
}

}  // namespace veltrop::platform
