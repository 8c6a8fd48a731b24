#include "cli/stamp_options.h"

#include <charconv>

#include "cli/preset_lookup.h"
#include "cli/settings_file.h"
#include "kit/export/image_loader.h"
#include "kit/storage/watermark_store.h"

namespace veltrop::cli {

const std::vector<OptionSpec> stampOptionSpecs{
    {"--preset", true},      {"--config", true},      {"--pattern", true},        {"--mode", true},
    {"--theme", true},       {"--corner", true},         {"--backing", true},
    {"--ink", true},         {"--size", true},           {"--no-timestamp", false},
    {"--watermark-text", true}, {"--watermark-image", true}, {"--watermark-corner", true},
    {"--quality", true},     {"--remove-gps", false},    {"--keep-quality", false},
    {"--write-dates", false},
};

const std::string_view stampOptionsHelp =
    "  --preset NAME             start from a saved preset (name or id, built-ins included)\n"
    "  --config FILE             start from the settings in FILE (a configuration or a presets file)\n"
    "  --pattern P               date pattern, e.g. \"yyyy-MM-dd HH:mm\"\n"
    "  --mode overlay|dataStrip  stamp on the photo or in a strip below it\n"
    "  --theme clean|retro       text or seven-segment digits\n"
    "  --corner C                topLeft, topRight, bottomLeft or bottomRight\n"
    "  --backing B               none, shadow or box\n"
    "  --ink I                   white, black or amber\n"
    "  --size F                  capital height as a fraction of the shorter side (0.01 to 0.06)\n"
    "  --no-timestamp            draw no date (a watermark is then needed)\n"
    "  --watermark-text T        add a text watermark\n"
    "  --watermark-image FILE    add a logo watermark (PNG or JPEG)\n"
    "  --watermark-corner C      corner of the watermark\n"
    "  --quality Q               JPEG quality from 0 to 1 (default 0.95)\n"
    "  --remove-gps              leave location data out of the copies\n"
    "  --keep-quality            keep the JPEG's own data outside the stamp (no new generation)\n"
    "  --write-dates             record corrected and supplied dates in the copies' metadata\n"
    "                            (DateTimeOriginal, CreateDate); otherwise they keep the photo's own\n";

namespace {

template <class E>
[[nodiscard]] std::expected<E, std::string> enumOption(const ParsedArguments& parsed, std::string_view option,
                                                     E current) {
    auto text = parsed.value(option);
    if (!text) return current;
    if (auto value = settings::fromRaw<E>(*text)) return *value;
    std::string choices;
    for (E value : settings::allCases<E>()) choices += (choices.empty() ? "" : ", ") + std::string(settings::rawValue(value));
    return std::unexpected("option \u201C" + std::string(option) + "\u201D takes one of " + choices);
}

// The shortest decimal that reads back as the value: 0.01, not 0.010000.
std::string shortest(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

[[nodiscard]] std::expected<double, std::string> numberOption(const ParsedArguments& parsed, std::string_view option,
                                                double current, double minimum, double maximum) {
    auto text = parsed.value(option);
    if (!text) return current;
    double value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc{} || end != text->data() + text->size() || !(value >= minimum && value <= maximum))
        return std::unexpected("option \u201C" + std::string(option) + "\u201D takes a number from " +
                               shortest(minimum) + " to " + shortest(maximum));
    return value;
}

}  // namespace

std::expected<StampSetup, std::string> stampSetup(const ParsedArguments& parsed, settings::StampConfiguration base) {
    StampSetup setup{std::move(base), std::nullopt};
    settings::StampConfiguration& c = setup.configuration;
    if (parsed.value("--preset") && parsed.value("--config"))
        return std::unexpected("give either --preset or --config, not both");
    if (auto name = parsed.value("--preset")) {
        auto preset = findPreset(listPresets(), *name);
        if (!preset) return std::unexpected(preset.error());
        c = preset->configuration;
    }
    if (auto file = parsed.value("--config")) {
        auto loaded = readConfigurationFile(*file);
        if (!loaded) return std::unexpected(loaded.error());
        c = *loaded;
    }
    if (auto pattern = parsed.value("--pattern")) c.format = {settings::format(settings::sampleDate(), *pattern), *pattern};

    // The first bad option wins; later ones are not looked at.
    std::string problem;
    auto apply = [&problem](auto& target, auto result) {
        if (!problem.empty()) return;
        if (result) target = *result;
        else problem = result.error();
    };
    apply(c.style.mode, enumOption(parsed, "--mode", c.style.mode));
    apply(c.style.theme, enumOption(parsed, "--theme", c.style.theme));
    apply(c.style.corner, enumOption(parsed, "--corner", c.style.corner));
    apply(c.style.backing, enumOption(parsed, "--backing", c.style.backing));
    apply(c.style.ink, enumOption(parsed, "--ink", c.style.ink));
    apply(c.style.sizeFraction, numberOption(parsed, "--size", c.style.sizeFraction,
                                               settings::StampStyle::minimumSizeFraction,
                                               settings::StampStyle::maximumSizeFraction));
    apply(c.jpegQuality, numberOption(parsed, "--quality", c.jpegQuality, 0, 1));
    if (!problem.empty()) return std::unexpected(problem);
    if (parsed.has("--no-timestamp")) c.timestampEnabled = false;
    if (parsed.has("--remove-gps")) c.removeGPS = true;
    if (parsed.has("--keep-quality")) c.keepOriginalQuality = true;
    if (parsed.has("--write-dates")) c.writeCorrectedDates = true;

    const auto text = parsed.value("--watermark-text");
    const auto image = parsed.value("--watermark-image");
    if (text && image) return std::unexpected("give either --watermark-text or --watermark-image, not both");
    if (text || image) {
        settings::WatermarkConfig watermark = c.watermark.value_or(settings::defaultWatermark());
        if (text) {
            watermark.source = settings::WatermarkSource::text(*text);
        } else {
            // Logos never need more than a few thousand pixels; this also turns them upright.
            auto logo = exporting::ImageLoader::loadThumbnail(*image, 4096, exporting::ThumbnailOrientation::upright);
            if (!logo) return std::unexpected(logo.error().description());
            setup.watermarkImage = std::move(logo->image);
            watermark.source = settings::WatermarkSource::image(settings::WatermarkImageID::fresh());
        }
        c.watermark = watermark;
    }
    if (c.watermark) apply(c.watermark->corner, enumOption(parsed, "--watermark-corner", c.watermark->corner));
    // A preset's logo lives in the application's watermark store.
    if (c.watermark && !setup.watermarkImage) {
        if (const auto* id = c.watermark->source.imageValue()) {
            if (auto store = storage::WatermarkStore::standard()) {
                if (auto logo = store->loadImage(*id)) setup.watermarkImage = std::move(*logo);
            }
        }
    }
    if (!problem.empty()) return std::unexpected(problem);
    return setup;
}

}  // namespace veltrop::cli
