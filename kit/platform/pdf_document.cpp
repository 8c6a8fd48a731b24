#include "kit/platform/pdf_document.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <stdio.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "kit/platform/utf8_text.h"
#include "kit/platform/jpeg_codec.h"

namespace veltrop::platform {

namespace {

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

    State() = default;
    ~State() {
        if (context != nullptr) g_object_unref(context);
        if (cr != nullptr) cairo_destroy(cr);
        if (surface != nullptr) cairo_surface_destroy(surface);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

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
    std::string valid = validUtf8(text);
    std::replace(valid.begin(), valid.end(), '\0', ' ');
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

std::optional<PdfJpeg> PdfJpeg::encode(const image::Bitmap& image, int quality) {
    if (image.empty()) return std::nullopt;
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&bytes, &size);
    if (out == nullptr) return std::nullopt;
    const bool encoded = encodeJpeg(image, quality, {}, out);
    const bool closed = std::fclose(out) == 0;
    std::optional<PdfJpeg> picture;
    if (encoded && closed && size > 0) picture = PdfJpeg{std::string(bytes, size), image.width, image.height};
    std::free(bytes);
    return picture;
}

bool PdfDocument::drawJpeg(const PdfJpeg& picture, double x, double y, double width, double height) {
    if (picture.data.empty() || picture.width <= 0 || picture.height <= 0) return false;
    // Cairo wants an image surface to hang the JPEG data on, but writes the
    // data instead of the pixels, which it never reads for an opaque format.
    // Its zeroed memory is mapped lazily, so the surface costs next to nothing.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
    auto* data = new std::string(picture.data);
    const bool prepared =
        cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
        cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_JPEG, reinterpret_cast<unsigned char*>(data->data()),
                                    data->size(), [](void* text) { delete static_cast<std::string*>(text); },
                                    data) == CAIRO_STATUS_SUCCESS;
    if (!prepared) {
        delete data;
        cairo_surface_destroy(surface);
        return false;
    }

    cairo_t* cr = state_->cr;
    cairo_save(cr);
    cairo_translate(cr, x, state_->pageHeight - y - height);
    cairo_scale(cr, width / picture.width, height / picture.height);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(surface);
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
