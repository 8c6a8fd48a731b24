// Pango text: fonts, one-line layouts, measuring and grapheme clusters.
#include "kit/platform/canvas.h"

#include <hb-ot.h>
#include <hb.h>
#include <utf8proc.h>

#include <algorithm>
#include <map>
#include <vector>

#include "kit/image/utf8.h"
#include "kit/platform/text_layout_detail.h"

namespace veltrop::platform {

namespace {

constexpr const char* preferredFamily = "sans-serif";
constexpr const char* fallbackFamily = "Helvetica";

// Pango's shared default font map is not safe to use from several threads at
// once, so every thread keeps its own map and context. Layout is unhinted and
// glyph positions are not rounded, so text lands on the same fractional
// positions at every image size.
struct ThreadFonts {
    PangoFontMap* map = nullptr;
    PangoContext* context = nullptr;
    std::map<std::string, double> capRatios;    // family → cap height per pixel of size
    std::map<std::string, bool> familyLoads;    // family → whether it resolves to a font

    ThreadFonts() {
        map = pango_cairo_font_map_new();
        context = pango_font_map_create_context(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
        pango_context_set_language(context, pango_language_from_string("en"));
        pango_context_set_base_dir(context, PANGO_DIRECTION_LTR);
    }
    ~ThreadFonts() {
        if (context != nullptr) g_object_unref(context);
        if (map != nullptr) g_object_unref(map);
    }
    ThreadFonts(const ThreadFonts&) = delete;
    ThreadFonts& operator=(const ThreadFonts&) = delete;
};

ThreadFonts& threadFonts() {
    thread_local ThreadFonts fonts;
    return fonts;
}

struct DescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
using Description = std::unique_ptr<PangoFontDescription, DescriptionDeleter>;

Description describe(const std::string& family, double size) {
    Description description(pango_font_description_new());
    pango_font_description_set_family(description.get(), family.c_str());
    pango_font_description_set_weight(description.get(), PANGO_WEIGHT_BOLD);
    pango_font_description_set_absolute_size(description.get(), std::max(size, 0.0) * PANGO_SCALE);
    return description;
}

bool familyLoads(const std::string& family) {
    ThreadFonts& fonts = threadFonts();
    if (auto found = fonts.familyLoads.find(family); found != fonts.familyLoads.end()) return found->second;
    const Description description = describe(family, 100);
    PangoFont* font = pango_font_map_load_font(fonts.map, fonts.context, description.get());
    const bool loads = font != nullptr;
    if (font != nullptr) g_object_unref(font);
    fonts.familyLoads.emplace(family, loads);
    return loads;
}

// Valid UTF-8 on one line: Pango rejects malformed text, and a one-line
// stamp must not break into paragraphs.
std::string oneLine(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    image::forEachCodePoint(text, [&](char32_t character) {
        if (character == U'\n' || character == U'\r' || character == U'\u2028' || character == U'\u2029' ||
            character == U'\v' || character == U'\f' || character == U'\u0085')
            character = U' ';
        if (character == 0) character = U'\uFFFD';
        utf8proc_uint8_t bytes[4];
        const auto length = utf8proc_encode_char(static_cast<utf8proc_int32_t>(character), bytes);
        result.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    });
    return result;
}

double capRatio(const std::string& family);

}  // namespace

// ---------------------------------------------------------------- text


TextLine::TextLine(std::string_view text, const Font& font) : impl_(std::make_unique<Impl>()) {
    if (text.empty() || !(font.size > 0)) return;
    const std::string line = oneLine(text);
    impl_->layout = pango_layout_new(threadFonts().context);
    pango_layout_set_single_paragraph_mode(impl_->layout, TRUE);
    const Description description = describe(font.family, font.size);
    pango_layout_set_font_description(impl_->layout, description.get());
    pango_layout_set_text(impl_->layout, line.c_str(), static_cast<int>(line.size()));
    pango_layout_get_extents(impl_->layout, &impl_->ink, nullptr);
    impl_->empty = impl_->ink.width <= 0 || impl_->ink.height <= 0;
}

TextLine::~TextLine() = default;
TextLine::TextLine(TextLine&&) noexcept = default;
TextLine& TextLine::operator=(TextLine&&) noexcept = default;

image::Size TextLine::size() const {
    if (impl_->empty) return {0, 0};
    return {static_cast<double>(impl_->ink.width) / PANGO_SCALE, static_cast<double>(impl_->ink.height) / PANGO_SCALE};
}

image::Size textSize(std::string_view text, const Font& font) { return TextLine(text, font).size(); }

Font stampFont(double pixelSize) {
    return Font{familyLoads(preferredFamily) ? preferredFamily : fallbackFamily, pixelSize};
}

namespace {

double capRatio(const std::string& family) {
    ThreadFonts& fonts = threadFonts();
    if (auto found = fonts.capRatios.find(family); found != fonts.capRatios.end()) return found->second;
    constexpr double referenceSize = 100;
    double ratio = 0;
    const Description description = describe(family, referenceSize);
    if (PangoFont* font = pango_font_map_load_font(fonts.map, fonts.context, description.get())) {
        if (hb_font_t* shaped = pango_font_get_hb_font(font)) {
            hb_face_t* face = hb_font_get_face(shaped);
            const unsigned int unitsPerEm = hb_face_get_upem(face);
            hb_font_t* unscaled = hb_font_create(face);  // scale defaults to units per em
            hb_position_t capHeightUnits = 0;
            if (unitsPerEm > 0 &&
                hb_ot_metrics_get_position(unscaled, HB_OT_METRICS_TAG_CAP_HEIGHT, &capHeightUnits) &&
                capHeightUnits > 0)
                ratio = static_cast<double>(capHeightUnits) / unitsPerEm;
            hb_font_destroy(unscaled);
        }
        g_object_unref(font);
    }
    if (ratio <= 0) {
        // Some faces record no cap height: the capital H's ink is the measure.
        ratio = TextLine("H", Font{family, referenceSize}).size().height / referenceSize;
    }
    fonts.capRatios.emplace(family, ratio);
    return ratio;
}

}  // namespace

double capHeight(const Font& font) { return capRatio(font.family) * font.size; }

std::vector<std::string> characters(std::string_view text) {
    const std::string clean = oneLine(text);
    std::vector<std::string> result;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    std::size_t index = 0;
    while (index < clean.size()) {
        const image::DecodedCharacter character = image::decodeCharacter(clean, index);
        const auto codePoint = static_cast<utf8proc_int32_t>(character.value);
        const std::size_t step = character.length;
        if (previous < 0 || result.empty() || utf8proc_grapheme_break_stateful(previous, codePoint, &state))
            result.emplace_back();
        result.back().append(clean, index, step);
        previous = codePoint;
        index += step;
    }
    return result;
}

}  // namespace veltrop::platform
