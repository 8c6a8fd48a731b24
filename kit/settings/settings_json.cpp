#include "kit/settings/settings_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "kit/image/utf8.h"
#include "kit/settings/strict_json.h"

namespace veltrop::settings {

namespace {

using Json = nlohmann::json;

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

std::string shortestDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// ---------------------------------------------------------------- writing

// nlohmann's dump writes "/" bare and whole doubles as "1.0"; the stored form
// wants "\/" and "1", so the text is produced here. Control characters all
// take the \u form; everything else, UTF-8 included, is written as is.
void writeString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out.push_back(hex[(c >> 4) & 0x0F]);
                    out.push_back(hex[c & 0x0F]);
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

template <class Integer>
void writeInteger(std::string& out, Integer value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void writeValue(std::string& out, const Json& value, std::size_t indent) {
    const auto newline = [&](std::size_t depth) {
        out.push_back('\n');
        out.append(depth * 2, ' ');
    };
    switch (value.type()) {
        case Json::value_t::object: {
            if (value.empty()) {
                out += "{}";
                return;
            }
            out.push_back('{');
            bool first = true;
            // The object type is a std::map: its keys come out in byte order.
            for (const auto& [key, member] : value.items()) {
                if (!first) out.push_back(',');
                first = false;
                newline(indent + 1);
                writeString(out, key);
                out += ": ";
                writeValue(out, member, indent + 1);
            }
            newline(indent);
            out.push_back('}');
            return;
        }
        case Json::value_t::array: {
            if (value.empty()) {
                out += "[]";
                return;
            }
            out.push_back('[');
            bool first = true;
            for (const auto& element : value) {
                if (!first) out.push_back(',');
                first = false;
                newline(indent + 1);
                writeValue(out, element, indent + 1);
            }
            newline(indent);
            out.push_back(']');
            return;
        }
        case Json::value_t::string: writeString(out, value.get_ref<const std::string&>()); return;
        case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; return;
        case Json::value_t::number_integer: writeInteger(out, value.get<std::int64_t>()); return;
        case Json::value_t::number_unsigned: writeInteger(out, value.get<std::uint64_t>()); return;
        case Json::value_t::number_float: out += shortestDouble(value.get<double>()); return;
        case Json::value_t::null:
        case Json::value_t::binary:
        case Json::value_t::discarded: out += "null"; return;
    }
}

std::string writeText(const Json& value) {
    std::string out;
    writeValue(out, value, 0);
    return out;
}

// Builds one JSON object and checks what cannot be written while the key path is known.
class ObjectBuilder {
public:
    explicit ObjectBuilder(std::string path) : path_(std::move(path)), object_(Json::object()) {}

    const std::string& path() const { return path_; }
    std::string child(std::string_view key) const { return join(path_, key); }

    void string(std::string_view key, std::string_view text) {
        // The reader is as strict, so whatever is written can be read back.
        if (!image::isValidUtf8(text)) fail(SettingsCodingError::Kind::invalidText, path_, key);
        object_[std::string(key)] = std::string(text);
    }
    void boolean(std::string_view key, bool value) { object_[std::string(key)] = value; }
    void integer(std::string_view key, std::int64_t value) { object_[std::string(key)] = value; }
    void number(std::string_view key, double value) {
        if (!std::isfinite(value)) fail(SettingsCodingError::Kind::nonFiniteNumber, path_, key);
        object_[std::string(key)] = value;
    }
    template <class E>
    void enumeration(std::string_view key, E value) {
        object_[std::string(key)] = std::string(rawValue(value));
    }
    void value(std::string_view key, Json value) { object_[std::string(key)] = std::move(value); }

    Json take() { return std::move(object_); }

private:
    std::string path_;
    Json object_;
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
    Json presets = Json::array();
    for (std::size_t i = 0; i < document.presets.size(); ++i)
        presets.push_back(encodePresetObject(document.presets[i], indexed("", "presets", i)));
    object.value("presets", std::move(presets));
    return object.take();
}

template <class Encoder>
std::expected<std::string, SettingsCodingError> encodeWith(Encoder&& encoder) {
    try {
        return writeText(encoder());
    } catch (const CodingFailure& failure) {
        return std::unexpected(failure.error);
    }
}

// ---------------------------------------------------------------- reading

// One JSON object being read, with the key path that names it in errors.
class ObjectReader {
public:
    ObjectReader(const Json& value, std::string path) : object_(value), path_(std::move(path)) {
        if (!object_.is_object()) fail(SettingsCodingError::Kind::wrongType, path_, {}, {}, "an object");
    }

    const std::string& path() const { return path_; }
    std::string child(std::string_view key) const { return join(path_, key); }

    const Json& required(std::string_view key) const {
        const auto found = object_.find(key);
        if (found == object_.end()) fail(SettingsCodingError::Kind::missingKey, path_, key);
        return *found;
    }
    // Absent and null both mean "not set".
    const Json* optional(std::string_view key) const {
        const auto found = object_.find(key);
        if (found == object_.end() || found->is_null()) return nullptr;
        return &*found;
    }
    bool has(std::string_view key) const { return object_.contains(key); }

    std::string string(std::string_view key) const { return stringValue(required(key), key); }
    std::string stringValue(const Json& value, std::string_view key) const {
        if (!value.is_string()) wrongType(key, "a string");
        return value.get<std::string>();
    }

    bool boolean(std::string_view key) const {
        const Json& value = required(key);
        if (!value.is_boolean()) wrongType(key, "a boolean");
        return value.get<bool>();
    }

    double number(std::string_view key) const {
        const Json& value = required(key);
        if (!value.is_number()) wrongType(key, "a number");
        const double number = value.get<double>();
        // An overflowing literal such as 1e999 parses as infinity; it could never be written back.
        if (!std::isfinite(number))
            fail(SettingsCodingError::Kind::invalidValue, path_, key, shortestDouble(number), "a finite number");
        return number;
    }

    std::int64_t integer(std::string_view key) const {
        const Json& value = required(key);
        if (value.is_number_unsigned()) {
            const auto number = value.get<std::uint64_t>();
            if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                fail(SettingsCodingError::Kind::invalidValue, path_, key, value.dump(), "a 64-bit integer");
            return static_cast<std::int64_t>(number);
        }
        if (value.is_number_integer()) return value.get<std::int64_t>();
        if (value.is_number_float()) {
            // 1.0 is the integer 1; 1.5 or 1e30 is not an integer at all.
            const double number = value.get<double>();
            constexpr double limit = 9223372036854775808.0;  // 2^63
            if (std::isfinite(number) && std::trunc(number) == number && number >= -limit && number < limit)
                return static_cast<std::int64_t>(number);
            fail(SettingsCodingError::Kind::invalidValue, path_, key, shortestDouble(number), "an integer");
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
    const Json& presets = object.required("presets");
    if (!presets.is_array()) object.wrongType("presets", "an array");
    document.presets.reserve(presets.size());
    for (std::size_t i = 0; i < presets.size(); ++i)
        document.presets.push_back(decodePresetObject(presets[i], indexed("", "presets", i)));
    return document;
}

Json parse(std::string_view text, const std::string& rootPath) {
    if (auto problem = detail::strictnessProblem(text, rootPath)) throw CodingFailure{std::move(*problem)};
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& error) {
        // Drop the library's "[json.exception.parse_error.101] " tag.
        std::string message = error.what();
        if (const auto tagEnd = message.find("] "); message.starts_with("[") && tagEnd != std::string::npos)
            message.erase(0, tagEnd + 2);
        fail(SettingsCodingError::Kind::malformedJson, {}, {}, std::move(message));
    }
}

template <class T, class Decoder>
std::expected<T, SettingsCodingError> decodeWith(std::string_view text, const std::string& rootPath,
                                                 Decoder&& decoder) {
    try {
        return decoder(parse(text, rootPath));
    } catch (const CodingFailure& failure) {
        return std::unexpected(failure.error);
    }
}

// ---------------------------------------------------------------- file URLs

bool isUnreservedOrPathChar(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':                       // unreserved
        case '!': case '$': case '&': case '\'': case '(': case ')':  // sub-delims
        case '*': case '+': case ',': case ';': case '=':
        case ':': case '@': case '/': return true;
        default: return false;
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> folderFileUrl(const std::filesystem::path& folder) {
    const std::string& native = folder.native();
    if (native.empty() || native.front() != '/' || native.find('\0') != std::string::npos) return std::nullopt;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : native) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreservedOrPathChar(byte)) {
            url.push_back(c);
        } else {
            url.push_back('%');
            url.push_back(hex[byte >> 4]);
            url.push_back(hex[byte & 0x0F]);
        }
    }
    // Folder URLs end in a slash; one is always added (except to the root),
    // so a location that already ends in one still reads back unchanged.
    if (native != "/") url.push_back('/');
    return url;
}

std::optional<std::filesystem::path> folderFromFileUrl(std::string_view url) {
    if (!startsWithIgnoringCase(url, "file:")) return std::nullopt;
    std::string_view rest = url.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithIgnoringCase(host, "localhost"))) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with("/")) return std::nullopt;

    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '%') {
            if (i + 2 >= rest.size()) return std::nullopt;
            const int high = hexDigit(rest[i + 1]);
            const int low = hexDigit(rest[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            const char decoded = static_cast<char>(high * 16 + low);
            if (decoded == '\0') return std::nullopt;
            path.push_back(decoded);
            i += 2;
        } else if (isUnreservedOrPathChar(static_cast<unsigned char>(c))) {
            path.push_back(c);
        } else {
            // A query, a fragment, a space or a character no URL may hold.
            return std::nullopt;
        }
    }
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return std::filesystem::path(path);
}

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
    return decodeWith<std::string>(json, "", [](const Json& value) { return writeText(value); });
}

bool looksLikePresetDocument(std::string_view json) {
    const Json value = Json::parse(json.begin(), json.end(), nullptr, false);
    return value.is_object() && (value.contains("presets") || value.contains("version"));
}

}  // namespace veltrop::settings
