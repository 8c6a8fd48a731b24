// The configuration, preset and presets-file readers. Whatever a reader
// accepts must be written again, and the written text must read back equal.

#include "harness.h"
#include "kit/settings/settings_json.h"

namespace veltrop::fuzz {

namespace {

template <typename Decode, typename Encode>
void checkRoundTrip(std::string_view input, Decode decode, Encode encode) {
    const auto decoded = decode(input);
    if (!decoded) {
        FUZZ_CHECK(!decoded.error().description().empty());
        return;
    }
    const auto written = encode(*decoded);
    FUZZ_CHECK(written.has_value());
    const auto again = decode(*written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *decoded);
    FUZZ_CHECK(encode(*again) == written);
}

}  // namespace

int fuzzSettingsJson(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkRoundTrip(input, settings::decodeStampConfiguration, settings::encodeStampConfiguration);
    checkRoundTrip(input, settings::decodePreset, settings::encodePreset);
    checkRoundTrip(input, settings::decodePresetDocument, settings::encodePresetDocument);

    const auto formatted = settings::formatJsonText(input);
    if (formatted) {
        const auto twice = settings::formatJsonText(*formatted);
        FUZZ_CHECK(twice.has_value() && *twice == *formatted);
        FUZZ_CHECK(settings::looksLikePresetDocument(*formatted) == settings::looksLikePresetDocument(input));
    } else {
        FUZZ_CHECK(!settings::looksLikePresetDocument(input));
    }
    return 0;
}

}  // namespace veltrop::fuzz
