// Over 500 lines: one encoder and one decoder per stored record, kept side by
// side so that a field added to one is seen missing from the other.
#include "kit/settings/settings_json.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "kit/json/writer.h"

namespace veltrop::settings {

namespace {

using Json = json::Value;

// Thrown inside this file only; every public function turns it into a value.
struct CodingFailure {
    SettingsCodingError error;
};

[[noreturn]] void fail(SettingsCodingError::Kind kind, std::string path, std::string_view key,
                       std::string found = {}, std::string expected = {}) {
    throw CodingFailure{{kind, std::move(path), std::string(key), std::move(found), std::move(expected)}};
}

std::string join(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string indexed(const std::string& path, std::string_view key, std::size_t index) {
    return join(path, key) + "[" + std::to_string(index) + "]";
}

// Builds one JSON object and checks what cannot be written while the key path is known.
class ObjectBuilder {
public:
    explicit ObjectBuilder(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    std::string child(std::string_view key) const { return join(path_, key); }

    void string(std::string_view key, std::string_view text) {
        if (!json::isValidUtf8(text)) fail(SettingsCodingError::Kind::invalidText, path_, key);
        members_.push_back({std::string(key), Json(text)});
    }
    void boolean(std::string_view key, bool value) { members_.push_back({std::string(key), Json(value)}); }
    void integer(std::string_view key, std::int64_t value) { members_.push_back({std::string(key), Json(value)}); }
    void number(std::string_view key, double value) {
        if (!std::isfinite(value)) fail(SettingsCodingError::Kind::nonFiniteNumber, path_, key);
        members_.push_back({std::string(key), Json(value)});
    }
    template <class E>
    void enumeration(std::string_view key, E value) {
        members_.push_back({std::string(key), Json(rawValue(value))});
    }
    void value(std::string_view key, Json value) { members_.push_back({std::string(key), std::move(value)}); }

    // The stored form lists keys in byte order.
    Json take() {
        std::stable_sort(members_.begin(), members_.end(),
                         [](const json::Member& a, const json::Member& b) { return a.key < b.key; });
        return Json(std::move(members_));
    }

private:
    std::string path_;
    json::Object members_;
};

Json encodeFormat(const StampFormat& format, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("name", format.name);
    object.string("pattern", format.pattern);
    return object.take();
}

Json encodeStyle(const StampStyle& style, std::string path) {
    ObjectBuilder object(std::move(path));
    object.enumeration("mode", style.mode);
    object.enumeration("theme", style.theme);
    object.enumeration("corner", style.corner);
    object.enumeration("backing", style.backing);
    object.enumeration("ink", style.ink);
    object.number("sizeFraction", style.sizeFraction);
    object.number("marginFraction", style.marginFraction);
    return object.take();
}

Json encodeStrip(const DataStripConfig& strip, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("label", strip.label);
    object.boolean("showTimestamp", strip.showTimestamp);
    object.boolean("showCamera", strip.showCamera);
    object.boolean("showLens", strip.showLens);
    object.boolean("showExposure", strip.showExposure);
    object.enumeration("background", strip.background);
    return object.take();
}

Json encodeNaming(const OutputNaming& naming, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("template", naming.template_);
    return object.take();
}

Json encodeImageID(const WatermarkImageID& id, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("rawValue", id.rawValue.text());
    return object.take();
}

Json encodeSource(const WatermarkSource& source, std::string path) {
    ObjectBuilder object(std::move(path));
    if (const auto* text = source.textValue()) {
        ObjectBuilder payload(object.child("text"));
        payload.string("_0", *text);
        object.value("text", payload.take());
    } else if (const auto* image = source.imageValue()) {
        ObjectBuilder payload(object.child("image"));
        payload.value("_0", encodeImageID(*image, payload.child("_0")));
        object.value("image", payload.take());
    }
    return object.take();
}

Json encodeWatermark(const WatermarkConfig& watermark, std::string path) {
    ObjectBuilder object(std::move(path));
    object.value("source", encodeSource(watermark.source, object.child("source")));
    object.enumeration("corner", watermark.corner);
    object.number("sizeFraction", watermark.sizeFraction);
    object.number("opacity", watermark.opacity);
    object.enumeration("ink", watermark.ink);
    object.enumeration("backing", watermark.backing);
    return object.take();
}

Json encodeProject(const PhotoProject& project, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("title", project.title);
    object.string("location", project.location);
    object.string("referencePrefix", project.referencePrefix);
    object.integer("firstNumber", project.firstNumber);
    object.boolean("showInStrip", project.showInStrip);
    object.boolean("includeHandoverPackage", project.includeHandoverPackage);
    return object.take();
}

Json encodeConfiguration(const StampConfiguration& configuration, std::string path) {
    ObjectBuilder object(std::move(path));
    object.value("format", encodeFormat(configuration.format, object.child("format")));
    object.value("style", encodeStyle(configuration.style, object.child("style")));
    object.value("strip", encodeStrip(configuration.strip, object.child("strip")));
    object.value("naming", encodeNaming(configuration.naming, object.child("naming")));
    if (configuration.watermark)
        object.value("watermark", encodeWatermark(*configuration.watermark, object.child("watermark")));
    object.boolean("timestampEnabled", configuration.timestampEnabled);
    if (configuration.outputRoot) {
        const auto url = folderFileUrl(*configuration.outputRoot);
        if (!url)
            fail(SettingsCodingError::Kind::invalidValue, object.path(), "outputRoot",
                 configuration.outputRoot->string(), "an absolute folder location");
        object.string("outputRoot", *url);
    }
    object.boolean("includeSubfolders", configuration.includeSubfolders);
    object.boolean("removeGPS", configuration.removeGPS);
    object.boolean("useFileDateFallback", configuration.useFileDateFallback);
    object.number("jpegQuality", configuration.jpegQuality);
    if (configuration.project)
        object.value("project", encodeProject(*configuration.project, object.child("project")));
    // Written only when on, so that settings without it read as before.
    if (configuration.keepOriginalQuality) object.boolean("keepOriginalQuality", true);
    if (configuration.writeCorrectedDates) object.boolean("writeCorrectedDates", true);
    return object.take();
}

Json encodePresetObject(const Preset& preset, std::string path) {
    ObjectBuilder object(std::move(path));
    object.string("id", preset.id.text());
    object.string("name", preset.name);
    object.value("configuration", encodeConfiguration(preset.configuration, object.child("configuration")));
    return object.take();
}

Json encodeDocument(const PresetDocument& document) {
    ObjectBuilder object("");
    object.integer("version", document.version);
    json::Array presets;
    for (std::size_t i = 0; i < document.presets.size(); ++i)
        presets.push_back(encodePresetObject(document.presets[i], indexed("", "presets", i)));
    object.value("presets", Json(std::move(presets)));
    return object.take();
}

template <class Encoder>
[[nodiscard]] std::expected<std::string, SettingsCodingError> encodeWith(Encoder&& encoder) {
    try {
        // Every text and number was checked on the way in, so writing cannot fail.
        return json::write(encoder()).value();
    } catch (const CodingFailure& failure) {
        return std::unexpected(failure.error);
    }
}

// ---------------------------------------------------------------- reading

// One JSON object being read, with the key path that names it in errors.
class ObjectReader {
public:
    ObjectReader(const Json& value, std::string path) : object_(value), path_(std::move(path)) {
        if (object_.object() == nullptr) fail(SettingsCodingError::Kind::wrongType, path_, {}, {}, "an object");
    }

    const std::string& path() const { return path_; }
    std::string child(std::string_view key) const { return join(path_, key); }

    const Json& required(std::string_view key) const {
        const Json* found = object_.find(key);
        if (found == nullptr) fail(SettingsCodingError::Kind::missingKey, path_, key);
        return *found;
    }
    // Absent and null both mean "not set".
    const Json* optional(std::string_view key) const {
        const Json* found = object_.find(key);
        if (found == nullptr || found->isNull()) return nullptr;
        return found;
    }
    bool has(std::string_view key) const { return object_.find(key) != nullptr; }

    std::string string(std::string_view key) const { return stringValue(required(key), key); }
    std::string stringValue(const Json& value, std::string_view key) const {
        if (value.string() == nullptr) wrongType(key, "a string");
        return *value.string();
    }

    bool boolean(std::string_view key) const {
        const Json& value = required(key);
        if (value.boolean() == nullptr) wrongType(key, "a boolean");
        return *value.boolean();
    }

    double number(std::string_view key) const {
        const Json& value = required(key);
        if (!value.isNumber()) wrongType(key, "a number");
        const double number = value.number();
        // An overflowing literal such as 1e999 parses as infinity; it could never be written back.
        if (!std::isfinite(number))
            fail(SettingsCodingError::Kind::invalidValue, path_, key, json::shortestNumber(number), "a finite number");
        return number;
    }

    std::int64_t integer(std::string_view key) const {
        const Json& value = required(key);
        if (const std::uint64_t* unsignedNumber = value.unsignedInteger()) {
            if (*unsignedNumber > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                fail(SettingsCodingError::Kind::invalidValue, path_, key, std::to_string(*unsignedNumber),
                     "a 64-bit integer");
            return static_cast<std::int64_t>(*unsignedNumber);
        }
        if (const std::int64_t* signedNumber = value.integer()) return *signedNumber;
        if (const double* floating = value.floating()) {
            // 1.0 is the integer 1; 1.5 or 1e30 is not an integer at all.
            const double number = *floating;
            constexpr double limit = 9223372036854775808.0;  // 2^63
            if (std::isfinite(number) && std::trunc(number) == number && number >= -limit && number < limit)
                return static_cast<std::int64_t>(number);
            fail(SettingsCodingError::Kind::invalidValue, path_, key, json::shortestNumber(number), "an integer");
        }
        wrongType(key, "an integer");
    }

    template <class E>
    E enumeration(std::string_view key) const {
        const std::string raw = string(key);
        const auto value = fromRaw<E>(raw);
        if (!value) fail(SettingsCodingError::Kind::unknownValue, path_, key, raw);
        return *value;
    }

    Uuid uuid(std::string_view key) const {
        const std::string text = string(key);
        const auto value = Uuid::parse(text);
        if (!value) fail(SettingsCodingError::Kind::invalidValue, path_, key, text, "a UUID");
        return *value;
    }

    [[noreturn]] void wrongType(std::string_view key, std::string expected) const {
        fail(SettingsCodingError::Kind::wrongType, path_, key, {}, std::move(expected));
    }

private:
    const Json& object_;
    std::string path_;
};

StampFormat decodeFormat(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    return {object.string("name"), object.string("pattern")};
}

StampStyle decodeStyle(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    StampStyle style;
    style.mode = object.enumeration<StampMode>("mode");
    style.theme = object.enumeration<StampTheme>("theme");
    style.corner = object.enumeration<StampCorner>("corner");
    style.backing = object.enumeration<StampBacking>("backing");
    style.ink = object.enumeration<StampInk>("ink");
    style.sizeFraction = object.number("sizeFraction");
    style.marginFraction = object.number("marginFraction");
    return style;
}

DataStripConfig decodeStrip(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    DataStripConfig strip;
    strip.label = object.string("label");
    strip.showTimestamp = object.boolean("showTimestamp");
    strip.showCamera = object.boolean("showCamera");
    strip.showLens = object.boolean("showLens");
    strip.showExposure = object.boolean("showExposure");
    strip.background = object.enumeration<StripBackground>("background");
    return strip;
}

OutputNaming decodeNaming(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    OutputNaming naming;
    naming.template_ = object.string("template");
    return naming;
}

WatermarkSource decodeSource(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    // Only the case names count; any other key is ignored like everywhere else.
    const bool hasText = object.has("text");
    const bool hasImage = object.has("image");
    if (hasText == hasImage) fail(SettingsCodingError::Kind::invalidSourceKeys, object.path(), {});
    if (hasText) {
        const ObjectReader payload(object.required("text"), object.child("text"));
        return WatermarkSource::text(payload.string("_0"));
    }
    const ObjectReader payload(object.required("image"), object.child("image"));
    const ObjectReader id(payload.required("_0"), payload.child("_0"));
    return WatermarkSource::image(WatermarkImageID{id.uuid("rawValue")});
}

WatermarkConfig decodeWatermark(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    WatermarkConfig watermark;
    watermark.source = decodeSource(object.required("source"), object.child("source"));
    watermark.corner = object.enumeration<StampCorner>("corner");
    watermark.sizeFraction = object.number("sizeFraction");
    watermark.opacity = object.number("opacity");
    watermark.ink = object.enumeration<StampInk>("ink");
    watermark.backing = object.enumeration<StampBacking>("backing");
    return watermark;
}

PhotoProject decodeProject(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    PhotoProject project;
    project.title = object.string("title");
    project.location = object.string("location");
    project.referencePrefix = object.string("referencePrefix");
    project.firstNumber = object.integer("firstNumber");
    project.showInStrip = object.boolean("showInStrip");
    project.includeHandoverPackage = object.boolean("includeHandoverPackage");
    return project;
}

StampConfiguration decodeConfiguration(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    StampConfiguration configuration;
    configuration.format = decodeFormat(object.required("format"), object.child("format"));
    configuration.style = decodeStyle(object.required("style"), object.child("style"));
    configuration.strip = decodeStrip(object.required("strip"), object.child("strip"));
    configuration.naming = decodeNaming(object.required("naming"), object.child("naming"));
    if (const Json* watermark = object.optional("watermark"))
        configuration.watermark = decodeWatermark(*watermark, object.child("watermark"));
    configuration.timestampEnabled = object.boolean("timestampEnabled");
    if (const Json* outputRoot = object.optional("outputRoot")) {
        const std::string url = object.stringValue(*outputRoot, "outputRoot");
        const auto folder = folderFromFileUrl(url);
        if (!folder)
            fail(SettingsCodingError::Kind::invalidValue, object.path(), "outputRoot", url, "a file URL of a folder");
        configuration.outputRoot = *folder;
    }
    configuration.includeSubfolders = object.boolean("includeSubfolders");
    configuration.removeGPS = object.boolean("removeGPS");
    configuration.useFileDateFallback = object.boolean("useFileDateFallback");
    configuration.jpegQuality = object.number("jpegQuality");
    if (const Json* project = object.optional("project"))
        configuration.project = decodeProject(*project, object.child("project"));
    // Absent from settings written before it existed.
    if (object.optional("keepOriginalQuality") != nullptr)
        configuration.keepOriginalQuality = object.boolean("keepOriginalQuality");
    if (object.optional("writeCorrectedDates") != nullptr)
        configuration.writeCorrectedDates = object.boolean("writeCorrectedDates");
    return configuration;
}

Preset decodePresetObject(const Json& value, std::string path) {
    const ObjectReader object(value, std::move(path));
    Preset preset;
    preset.id = object.uuid("id");
    preset.name = object.string("name");
    preset.configuration = decodeConfiguration(object.required("configuration"), object.child("configuration"));
    return preset;
}

PresetDocument decodeDocument(const Json& value) {
    const ObjectReader object(value, "");
    PresetDocument document;
    document.version = object.integer("version");
    const json::Array* presets = object.required("presets").array();
    if (presets == nullptr) object.wrongType("presets", "an array");
    document.presets.reserve(presets->size());
    for (std::size_t i = 0; i < presets->size(); ++i)
        document.presets.push_back(decodePresetObject((*presets)[i], indexed("", "presets", i)));
    return document;
}

// Where the parser's object path sits under the decoders' root path.
std::string underRoot(const std::string& rootPath, const std::string& objectPath) {
    if (objectPath.empty()) return rootPath;
    if (rootPath.empty()) return objectPath;
    return objectPath.starts_with('[') ? rootPath + objectPath : rootPath + "." + objectPath;
}

Json parse(std::string_view text, const std::string& rootPath) {
    auto value = json::parse(text);
    if (!value) {
        json::ParseError& error = value.error();
        if (error.kind == json::ParseError::Kind::duplicateKey)
            throw CodingFailure{SettingsCodingError{SettingsCodingError::Kind::duplicateKey,
                                                    underRoot(rootPath, error.objectPath), error.key, {}, {}}};
        fail(SettingsCodingError::Kind::malformedJson, {}, {}, std::move(error.message));
    }
    return std::move(*value);
}

template <class T, class Decoder>
[[nodiscard]] std::expected<T, SettingsCodingError> decodeWith(std::string_view text, const std::string& rootPath,
                                                               Decoder&& decoder) {
    try {
        return decoder(parse(text, rootPath));
    } catch (const CodingFailure& failure) {
        return std::unexpected(failure.error);
    }
}

}  // namespace

std::string SettingsCodingError::description() const {
    const std::string where = path.empty() ? "the top level" : path;
    switch (kind) {
        case Kind::malformedJson: return "The text is not valid JSON \u2014 " + found;
        case Kind::missingKey: return "Missing key \u201C" + key + "\u201D at " + where;
        case Kind::wrongType:
            if (key.empty()) return "Expected " + expected + " at " + where;
            return "Expected " + expected + " for key \u201C" + key + "\u201D at " + where;
        case Kind::unknownValue:
            return "Unknown value \u201C" + found + "\u201D for key \u201C" + key + "\u201D at " + where;
        case Kind::invalidValue:
            return "Invalid value \u201C" + found + "\u201D for key \u201C" + key + "\u201D at " + where +
                   " \u2014 expected " + expected;
        case Kind::invalidSourceKeys: return "Invalid number of keys found, expected one.";
        case Kind::nonFiniteNumber:
            return "The number for key \u201C" + key + "\u201D at " + where + " is not finite and cannot be saved";
        case Kind::invalidText:
            return "The text for key \u201C" + key + "\u201D at " + where + " is not valid UTF-8 and cannot be saved";
        case Kind::duplicateKey: return "Duplicate key \u201C" + key + "\u201D at " + where;
    }
    return {};
}

std::expected<std::string, SettingsCodingError> encodeStampConfiguration(const StampConfiguration& configuration) {
    return encodeWith([&] { return encodeConfiguration(configuration, "configuration"); });
}

std::expected<StampConfiguration, SettingsCodingError> decodeStampConfiguration(std::string_view json) {
    return decodeWith<StampConfiguration>(json, "configuration",
                                          [](const Json& value) { return decodeConfiguration(value, "configuration"); });
}

std::expected<std::string, SettingsCodingError> encodePreset(const Preset& preset) {
    return encodeWith([&] { return encodePresetObject(preset, ""); });
}

std::expected<Preset, SettingsCodingError> decodePreset(std::string_view json) {
    return decodeWith<Preset>(json, "", [](const Json& value) { return decodePresetObject(value, ""); });
}

std::expected<std::string, SettingsCodingError> encodePresetDocument(const PresetDocument& document) {
    return encodeWith([&] { return encodeDocument(document); });
}

std::expected<PresetDocument, SettingsCodingError> decodePresetDocument(std::string_view json) {
    return decodeWith<PresetDocument>(json, "", [](const Json& value) { return decodeDocument(value); });
}

std::expected<std::string, SettingsCodingError> formatJsonText(std::string_view json) {
    return decodeWith<std::string>(json, "", [](const Json& value) { return json::write(value).value(); });
}

bool looksLikePresetDocument(std::string_view text) {
    const auto value = json::parse(text);
    return value && value->object() && (value->find("presets") || value->find("version"));
}

}  // namespace veltrop::settings
