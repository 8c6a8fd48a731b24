#include <cmath>
#include <cstdint>
#include <limits>

#include "kit/dates/capture_date.h"
#include "kit/json/writer.h"

namespace veltrop::dates {

namespace {

using Json = json::Value;

[[nodiscard]] std::expected<std::int64_t, CaptureDateJsonError> integerField(const Json& object, std::string_view key) {
    const Json* found = object.find(key);
    if (found == nullptr) return std::unexpected(CaptureDateJsonError{"Missing key \u201C" + std::string(key) + "\u201D"});
    const Json& value = *found;
    if (const std::uint64_t* unsignedNumber = value.unsignedInteger()) {
        if (*unsignedNumber <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return static_cast<std::int64_t>(*unsignedNumber);
    } else if (const std::int64_t* integer = value.integer()) {
        return *integer;
    } else if (const double* floating = value.floating()) {
        const double number = *floating;
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
    // Sorted keys, like every stored JSON text.
    const Json object(json::Object{{"day", date.day},
                                   {"hour", date.hour},
                                   {"minute", date.minute},
                                   {"month", date.month},
                                   {"second", date.second},
                                   {"source", rawValue(date.source)},
                                   {"year", date.year}});
    // Integers and a plain ASCII word: nothing that could fail to write.
    return json::write(object).value();
}

std::expected<CaptureDate, CaptureDateJsonError> captureDateFromJson(std::string_view text) {
    const auto parsed = json::parse(text);
    if (!parsed) return std::unexpected(CaptureDateJsonError{"The text is not valid JSON"});
    const Json& value = *parsed;
    if (value.object() == nullptr) return std::unexpected(CaptureDateJsonError{"Expected an object"});

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

    const Json* source = value.find("source");
    if (source == nullptr) return std::unexpected(CaptureDateJsonError{"Missing key \u201Csource\u201D"});
    if (source->string() == nullptr)
        return std::unexpected(CaptureDateJsonError{"Expected a string for key \u201Csource\u201D"});
    const auto known = captureDateSourceFromRaw(*source->string());
    if (!known)
        return std::unexpected(
            CaptureDateJsonError{"Unknown value \u201C" + *source->string() + "\u201D for key \u201Csource\u201D"});
    date.source = *known;

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
