#include "kit/platform/pdf_document.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <stdio.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "kit/platform/graphemes.h"
#include "kit/platform/jpeg_codec.h"

namespace veltrop::platform {

namespace {

cairo_user_data_key_t pixelsKey;

// Stray bytes become U+FFFD so that the text layout gets only valid UTF-8.
std::string validUtf8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::string(text);
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

// The picture as JPEG data in memory, allocated with malloc.
struct JpegData {
    char* bytes = nullptr;
    std::size_t size = 0;
};

std::optional<JpegData> encodedJpeg(const render::Bitmap& image, int quality) {
    JpegData data;
    std::FILE* out = ::open_memstream(&data.bytes, &data.size);
    if (out == nullptr) return std::nullopt;
    const bool encoded = encodeJpeg(image, quality, {}, out);
    const bool closed = std::fclose(out) == 0;
    if (!encoded || !closed || data.size == 0) {
        std::free(data.bytes);
        return std::nullopt;
    }
    return data;
}

double logicalWidth(PangoLayout* layout) {
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    return pango_units_to_double(logical.width);
}

// Cuts the text itself rather than letting the layout hide the end: hidden
// text would still be in the PDF for copying and searching.
void setCutText(PangoLayout* layout, const std::string& text, double maxWidth) {
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    if (!(maxWidth > 0) || logicalWidth(layout) <= maxWidth) return;
    const std::vector<std::size_t> ends = graphemeEnds(text);
    const auto cut = [&](std::size_t characters) {
        std::string shown = text.substr(0, characters == 0 ? 0 : ends[characters - 1]) + "\u2026";
        pango_layout_set_text(layout, shown.data(), static_cast<int>(shown.size()));
    };
    // The most characters that still fit before the ellipsis.
    std::size_t fits = 0, tooMany = ends.size();
    while (tooMany - fits > 1) {
        const std::size_t middle = fits + (tooMany - fits) / 2;
        cut(middle);
        (logicalWidth(layout) <= maxWidth ? fits : tooMany) = middle;
    }
    cut(fits);
}

}  // namespace

struct PdfDocument::State {
    std::string bytes;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    PangoContext* context = nullptr;
    double pageHeight = 0;
    bool pageOpen = false;

    ~State() {
        if (context != nullptr) g_object_unref(context);
        if (cr != nullptr) cairo_destroy(cr);
        if (surface != nullptr) cairo_surface_destroy(surface);
    }

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length) {
        try {
            static_cast<State*>(closure)->bytes.append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        } catch (const std::bad_alloc&) {
            return CAIRO_STATUS_WRITE_ERROR;
        }
    }
};

PdfDocument::PdfDocument(std::unique_ptr<State> state) : state_(std::move(state)) {}
PdfDocument::PdfDocument(PdfDocument&&) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&&) noexcept = default;
PdfDocument::~PdfDocument() = default;

std::optional<PdfDocument> PdfDocument::create(double pageWidth, double pageHeight, std::string_view title,
                                               std::string_view creator) {
    if (!(pageWidth > 0) || !(pageHeight > 0)) return std::nullopt;
    auto state = std::make_unique<State>();
    state->pageHeight = pageHeight;
    state->surface = cairo_pdf_surface_create_for_stream(&State::write, state.get(), pageWidth, pageHeight);
    if (cairo_surface_status(state->surface) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    cairo_pdf_surface_set_metadata(state->surface, CAIRO_PDF_METADATA_TITLE, validUtf8(title).c_str());
    cairo_pdf_surface_set_metadata(state->surface, CAIRO_PDF_METADATA_CREATOR, validUtf8(creator).c_str());

    state->cr = cairo_create(state->surface);
    if (cairo_status(state->cr) != CAIRO_STATUS_SUCCESS) return std::nullopt;

    state->context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    if (state->context == nullptr) return std::nullopt;
    // Outlines at their true widths: a PDF is scaled when viewed, so grid
    // fitting for one resolution would only distort the spacing.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(state->context, options);
    cairo_font_options_destroy(options);
    pango_cairo_update_context(state->cr, state->context);
    return PdfDocument(std::move(state));
}

void PdfDocument::beginPage() {
    cairo_t* cr = state_->cr;
    if (state_->pageOpen) cairo_show_page(cr);
    state_->pageOpen = true;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_restore(cr);
}

void PdfDocument::drawText(std::string_view text, const PdfTextStyle& style, double x, double baseline,
                           double maxWidth) {
    const std::string valid = validUtf8(text);
    PangoFontDescription* font = pango_font_description_from_string(style.family.c_str());
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);

    PangoLayout* layout = pango_layout_new(state_->context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    setCutText(layout, valid, maxWidth);
    const double ascent = pango_units_to_double(pango_layout_get_baseline(layout));

    cairo_t* cr = state_->cr;
    cairo_set_source_rgb(cr, style.grey, style.grey, style.grey);
    cairo_move_to(cr, x, state_->pageHeight - baseline - ascent);
    pango_cairo_show_layout(cr, layout);

    g_object_unref(layout);
    pango_font_description_free(font);
}

bool PdfDocument::drawImage(const render::Bitmap& image, double x, double y, double width, double height,
                            int jpegQuality) {
    if (image.empty() || image.stride % 4 != 0 || image.stride < static_cast<std::size_t>(image.width) * 4)
        return false;
    const auto jpeg = encodedJpeg(image, jpegQuality);
    if (!jpeg) return false;

    // Cairo reads the pixels only if it cannot use the JPEG data, but keeps
    // the picture until the page is written; it holds a share of the bitmap
    // until then instead of a copy.
    cairo_surface_t* picture = cairo_image_surface_create_for_data(
        image.pixels.get(), CAIRO_FORMAT_RGB24, image.width, image.height, static_cast<int>(image.stride));
    auto* keeper = new render::Bitmap(image);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(picture, &pixelsKey, keeper,
                                    [](void* bitmap) { delete static_cast<render::Bitmap*>(bitmap); }) !=
            CAIRO_STATUS_SUCCESS) {
        delete keeper;
        std::free(jpeg->bytes);
        cairo_surface_destroy(picture);
        return false;
    }
    if (cairo_surface_set_mime_data(picture, CAIRO_MIME_TYPE_JPEG, reinterpret_cast<unsigned char*>(jpeg->bytes),
                                    jpeg->size, std::free, jpeg->bytes) != CAIRO_STATUS_SUCCESS) {
        std::free(jpeg->bytes);
        cairo_surface_destroy(picture);
        return false;
    }

    cairo_t* cr = state_->cr;
    cairo_save(cr);
    cairo_translate(cr, x, state_->pageHeight - y - height);
    cairo_scale(cr, width / image.width, height / image.height);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(picture);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

std::optional<std::string> PdfDocument::finish() {
    if (state_->pageOpen) cairo_show_page(state_->cr);
    state_->pageOpen = false;
    const bool drawn = cairo_status(state_->cr) == CAIRO_STATUS_SUCCESS;
    cairo_surface_finish(state_->surface);
    if (!drawn || cairo_surface_status(state_->surface) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return std::move(state_->bytes);
}

}  // namespace veltrop::platform
