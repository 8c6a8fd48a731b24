#include "kit/dates/exif_fields.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace veltrop::dates {

namespace {

std::optional<std::string> stringValue(const PropertyDictionary& dictionary, std::string_view key) {
    const PropertyValue* value = find(dictionary, key);
    if (value == nullptr || value->string() == nullptr) return std::nullopt;
    return *value->string();
}

std::optional<double> numberValue(const PropertyDictionary& dictionary, std::string_view key) {
    const PropertyValue* value = find(dictionary, key);
    if (value == nullptr || value->number() == nullptr) return std::nullopt;
    return *value->number();
}

std::optional<std::int64_t> integerOf(double value) {
    // Outside the 64-bit range (or NaN) there is no sensible ISO value.
    if (!(value >= -9.2e18 && value <= 9.2e18)) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::string lowercased(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

ExifFields ExifFields::fromProperties(const PropertyDictionary& properties) {
    const PropertyDictionary& exif = group(properties, keys::exif);
    const PropertyDictionary& tiff = group(properties, keys::tiff);
    const PropertyDictionary& aux = group(properties, keys::exifAux);

    ExifFields fields;
    fields.make = stringValue(tiff, keys::make);
    fields.model = stringValue(tiff, keys::model);
    fields.lens = stringValue(exif, keys::lensModel);
    if (!fields.lens) fields.lens = stringValue(aux, keys::lensModel);
    fields.focalLength = numberValue(exif, keys::focalLength);
    fields.aperture = numberValue(exif, keys::fNumber);
    fields.shutterSeconds = numberValue(exif, keys::exposureTime);
    if (const PropertyValue* iso = find(exif, keys::isoSpeedRatings)) {
        if (const PropertyList* list = iso->list()) {
            if (!list->empty() && list->front().number()) fields.iso = integerOf(*list->front().number());
        } else if (const double* number = iso->number()) {
            fields.iso = integerOf(*number);
        }
    }
    return fields;
}

std::optional<std::string> cameraText(const ExifFields& fields) {
    const std::string make = fields.make ? trimmed(*fields.make) : std::string();
    const std::string model = fields.model ? trimmed(*fields.model) : std::string();
    if (model.empty()) return make.empty() ? std::nullopt : std::optional(make);
    if (make.empty()) return model;

    std::string_view firstWord = make;
    if (auto start = make.find_first_not_of(' '); start != std::string::npos) {
        auto end = make.find(' ', start);
        firstWord = std::string_view(make).substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (lowercased(model).starts_with(lowercased(std::string(firstWord)))) return model;
    return make + " " + model;
}

std::string numberText(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.2e18) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string shutterText(double seconds) {
    if (!(seconds > 0)) return "";
    if (seconds < 1) return "1/" + numberText(std::round(1.0 / seconds)) + "s";
    return numberText(seconds) + "s";
}

std::optional<std::string> exposureText(const ExifFields& fields) {
    std::vector<std::string> items;
    if (fields.focalLength) items.push_back(numberText(*fields.focalLength) + "mm");
    if (fields.aperture) items.push_back("\u0192/" + numberText(*fields.aperture));
    if (fields.shutterSeconds) items.push_back(shutterText(*fields.shutterSeconds));
    if (fields.iso) items.push_back("ISO " + std::to_string(*fields.iso));
    if (items.empty()) return std::nullopt;
    std::string line = items.front();
    for (std::size_t i = 1; i < items.size(); ++i) line += "  " + items[i];
    return line;
}

}  // namespace veltrop::dates
