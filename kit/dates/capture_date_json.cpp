#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "kit/dates/capture_date.h"

namespace veltrop::dates {

namespace {

using Json = nlohmann::json;

std::expected<std::int64_t, CaptureDateJsonError> integerField(const Json& object, std::string_view key) {
    const auto found = object.find(key);
    if (found == object.end()) return std::unexpected(CaptureDateJsonError{"Missing key \u201C" + std::string(key) + "\u201D"});
    const Json& value = *found;
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return static_cast<std::int64_t>(number);
    } else if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    } else if (value.is_number_float()) {
        const double number = value.get<double>();
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (std::isfinite(number) && std::trunc(number) == number && number >= -limit && number < limit)
            return static_cast<std::int64_t>(number);
    }
    return std::unexpected(CaptureDateJsonError{"Expected an integer for key \u201C" + std::string(key) + "\u201D"});
}

CaptureDateJsonError outOfRange(std::string_view key, std::int64_t value) {
    return {"Invalid value \u201C" + std::to_string(value) + "\u201D for key \u201C" + std::string(key) + "\u201D"};
}

}  // namespace

std::string toJson(const CaptureDate& date) {
    // Sorted keys, pretty printed, like every JSON text the program writes.
    const auto line = [](std::string_view key, const std::string& value, bool last) {
        return "  \"" + std::string(key) + "\": " + value + (last ? "\n" : ",\n");
    };
    std::string out = "{\n";
    out += line("day", std::to_string(date.day), false);
    out += line("hour", std::to_string(date.hour), false);
    out += line("minute", std::to_string(date.minute), false);
    out += line("month", std::to_string(date.month), false);
    out += line("second", std::to_string(date.second), false);
    // Raw values are plain ASCII words: nothing to escape.
    out += line("source", "\"" + std::string(rawValue(date.source)) + "\"", false);
    out += line("year", std::to_string(date.year), true);
    out += "}";
    return out;
}

std::expected<CaptureDate, CaptureDateJsonError> captureDateFromJson(std::string_view json) {
    const Json value = Json::parse(json.begin(), json.end(), nullptr, false);
    if (value.is_discarded()) return std::unexpected(CaptureDateJsonError{"The text is not valid JSON"});
    if (!value.is_object()) return std::unexpected(CaptureDateJsonError{"Expected an object"});

    CaptureDate date;
    struct Field {
        std::string_view key;
        std::int64_t* target;
    };
    for (const Field& field : {Field{"year", &date.year}, Field{"month", &date.month}, Field{"day", &date.day},
                               Field{"hour", &date.hour}, Field{"minute", &date.minute},
                               Field{"second", &date.second}}) {
        const auto number = integerField(value, field.key);
        if (!number) return std::unexpected(number.error());
        *field.target = *number;
    }

    const auto source = value.find("source");
    if (source == value.end()) return std::unexpected(CaptureDateJsonError{"Missing key \u201Csource\u201D"});
    if (!source->is_string()) return std::unexpected(CaptureDateJsonError{"Expected a string for key \u201Csource\u201D"});
    const auto parsed = captureDateSourceFromRaw(source->get<std::string>());
    if (!parsed)
        return std::unexpected(
            CaptureDateJsonError{"Unknown value \u201C" + source->get<std::string>() + "\u201D for key \u201Csource\u201D"});
    date.source = *parsed;

    // Formatting indexes month tables, so an impossible date must not get in;
    // the bounds are those of the EXIF parser (leap second included).
    if (date.year < 1) return std::unexpected(outOfRange("year", date.year));
    if (date.month < 1 || date.month > 12) return std::unexpected(outOfRange("month", date.month));
    if (date.day < 1 || date.day > daysInMonth(date.year, date.month)) return std::unexpected(outOfRange("day", date.day));
    if (date.hour < 0 || date.hour > 23) return std::unexpected(outOfRange("hour", date.hour));
    if (date.minute < 0 || date.minute > 59) return std::unexpected(outOfRange("minute", date.minute));
    if (date.second < 0 || date.second > 60) return std::unexpected(outOfRange("second", date.second));
    return date;
}

}  // namespace veltrop::dates
