#include "kit/dates/clock_reading.h"

#include <cmath>

#include "kit/dates/text.h"

namespace veltrop::dates {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::int64_t> digitsValue(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

const std::string* stringAt(const PropertyDictionary& group, std::string_view key) {
    const PropertyValue* value = find(group, key);
    return value ? value->string() : nullptr;
}

// Three numbers (degrees, minutes, seconds or hours, minutes, seconds).
std::optional<std::array<double, 3>> triple(const PropertyDictionary& group, std::string_view key) {
    const PropertyValue* value = find(group, key);
    const PropertyList* list = value ? value->list() : nullptr;
    if (list == nullptr || list->size() != 3) return std::nullopt;
    std::array<double, 3> numbers{};
    for (std::size_t i = 0; i < 3; ++i) {
        const double* number = (*list)[i].number();
        if (number == nullptr || !std::isfinite(*number) || *number < 0) return std::nullopt;
        numbers[i] = *number;
    }
    return numbers;
}

std::optional<double> subSecondOf(const PropertyDictionary& exif) {
    const std::string* text = stringAt(exif, keys::subSecTimeOriginal);
    if (text == nullptr) return std::nullopt;
    const std::string digits = trimmed(*text);
    const auto value = digitsValue(digits);
    if (!value) return std::nullopt;
    return static_cast<double>(*value) / std::pow(10.0, static_cast<double>(digits.size()));
}

std::optional<CalendarDay> gpsDayOf(const PropertyDictionary& gps) {
    const std::string* text = stringAt(gps, keys::gpsDateStamp);
    if (text == nullptr) return std::nullopt;
    // Reuses the EXIF date parser with a noon time: the same calendar checks.
    auto date = CaptureDateReader::parseExifText(trimmed(*text) + " 12:00:00", CaptureDateSource::dateTimeOriginal);
    if (!date) return std::nullopt;
    return CalendarDay{date->year, date->month, date->day};
}

std::optional<double> gpsSecondOf(const PropertyDictionary& gps) {
    const auto time = triple(gps, keys::gpsTimeStamp);
    if (!time) return std::nullopt;
    const auto [hours, minutes, seconds] = *time;
    if (hours >= 24 || minutes >= 60 || seconds >= 61) return std::nullopt;
    return hours * 3600 + minutes * 60 + seconds;
}

double degreesOf(const std::array<double, 3>& parts) { return parts[0] + parts[1] / 60 + parts[2] / 3600; }

std::optional<double> longitudeOf(const PropertyDictionary& gps) {
    const auto parts = triple(gps, keys::gpsLongitude);
    const std::string* reference = stringAt(gps, keys::gpsLongitudeRef);
    if (!parts || reference == nullptr) return std::nullopt;
    const std::string side = trimmed(*reference);
    if (side != "E" && side != "W") return std::nullopt;
    const double degrees = degreesOf(*parts);
    if (degrees > 180) return std::nullopt;
    // Receivers without a fix write 0°, 0°: no place at all.
    const auto latitude = triple(gps, keys::gpsLatitude);
    if (degrees == 0 && latitude && degreesOf(*latitude) == 0) return std::nullopt;
    return side == "W" ? -degrees : degrees;
}

}  // namespace

std::optional<std::int64_t> parseOffsetText(std::string_view input) {
    const std::string text = trimmed(input);
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') return std::nullopt;
    const auto hours = digitsValue(std::string_view(text).substr(1, 2));
    const auto minutes = digitsValue(std::string_view(text).substr(4, 2));
    if (!hours || !minutes || *minutes > 59) return std::nullopt;
    const std::int64_t seconds = (text[0] == '-' ? -1 : 1) * (*hours * 3600 + *minutes * 60);
    if (seconds < -12 * 3600 || seconds > 14 * 3600) return std::nullopt;
    return seconds;
}

ClockReading ClockReading::fromProperties(const PropertyDictionary& properties) {
    const PropertyDictionary& exif = group(properties, keys::exif);
    const PropertyDictionary& gps = group(properties, keys::gps);
    ClockReading reading;
    if (const std::string* offset = stringAt(exif, keys::offsetTimeOriginal))
        reading.offsetSeconds = parseOffsetText(*offset);
    reading.subSecond = subSecondOf(exif);
    reading.gpsDay = gpsDayOf(gps);
    reading.gpsSecondOfDay = gpsSecondOf(gps);
    reading.longitude = longitudeOf(gps);
    return reading;
}

std::optional<CaptureDate> readModificationDate(const FileDates& file) {
    const auto& local = file.modification;
    if (!local) return std::nullopt;
    return CaptureDate{
        local->year, local->month, local->day, local->hour, local->minute, local->second, CaptureDateSource::fileDate};
}

}  // namespace veltrop::dates
