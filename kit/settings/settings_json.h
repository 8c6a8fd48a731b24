#pragma once
// The JSON form of configurations and presets: sorted keys, pretty printed,
// every required key present. Reading is strict: anything missing, of the
// wrong type or outside an enumeration makes the whole text unreadable.

#include <expected>
#include <string>
#include <string_view>

#include "kit/settings/file_url.h"
#include "kit/settings/preset.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::settings {

struct SettingsCodingError {
    enum class Kind {
        malformedJson,      // found: the parser's message
        missingKey,         // key
        wrongType,          // key (empty for the object at path itself), expected
        unknownValue,       // key, found: the string outside the enumeration
        invalidValue,       // key, found, expected
        invalidSourceKeys,  // a watermark source without exactly one case key
        nonFiniteNumber,    // key; cannot be written
        invalidText,        // key; not UTF-8, cannot be written
        duplicateKey,       // key: written twice in the object at path
    };

    Kind kind = Kind::malformedJson;
    // Where the object at fault sits, e.g. "configuration.style" or
    // "presets[0].configuration"; empty for the top level.
    std::string path;
    std::string key;
    std::string found;
    std::string expected;

    std::string description() const;
    bool operator==(const SettingsCodingError&) const = default;
};

[[nodiscard]] std::expected<std::string, SettingsCodingError> encodeStampConfiguration(
    const StampConfiguration& configuration);
[[nodiscard]] std::expected<StampConfiguration, SettingsCodingError> decodeStampConfiguration(
    std::string_view json);

[[nodiscard]] std::expected<std::string, SettingsCodingError> encodePreset(const Preset& preset);
[[nodiscard]] std::expected<Preset, SettingsCodingError> decodePreset(std::string_view json);

[[nodiscard]] std::expected<std::string, SettingsCodingError> encodePresetDocument(const PresetDocument& document);
[[nodiscard]] std::expected<PresetDocument, SettingsCodingError> decodePresetDocument(std::string_view json);

// Any JSON text written the way the program writes all its JSON: keys
// sorted, two-space indentation, whole numbers without a fraction. Fails
// with malformedJson for text that is not JSON.
[[nodiscard]] std::expected<std::string, SettingsCodingError> formatJsonText(std::string_view json);

// A JSON object with a "presets" or "version" key: a whole presets file
// rather than a single configuration. False for anything unparseable.
bool looksLikePresetDocument(std::string_view json);

}  // namespace veltrop::settings
