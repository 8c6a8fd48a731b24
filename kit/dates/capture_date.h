#pragma once
// A camera wall-clock reading: six numbers and where they came from. No time
// zone, no instant; dates are printed as recorded and compared by text().

#include <array>
#include <compare>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "kit/dates/properties.h"

namespace veltrop::dates {

enum class CaptureDateSource { dateTimeOriginal, dateTimeDigitized, tiffDateTime, fileDate, suppliedDate };

inline constexpr std::array allCaptureDateSources{
    CaptureDateSource::dateTimeOriginal, CaptureDateSource::dateTimeDigitized, CaptureDateSource::tiffDateTime,
    CaptureDateSource::fileDate, CaptureDateSource::suppliedDate};

std::string_view rawValue(CaptureDateSource source);
std::optional<CaptureDateSource> captureDateSourceFromRaw(std::string_view raw);
std::string_view label(CaptureDateSource source);
bool isEmbedded(CaptureDateSource source);

struct CaptureDate {
    std::int64_t year = 0;
    std::int64_t month = 1;
    std::int64_t day = 1;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    CaptureDateSource source = CaptureDateSource::dateTimeOriginal;

    bool operator==(const CaptureDate&) const = default;
};

// "YYYY-MM-DD HH:MM:SS"; the form every date comparison uses.
std::string text(const CaptureDate& date);

// The JSON object {"day","hour","minute","month","second","source","year"}.
std::string toJson(const CaptureDate& date);
struct CaptureDateJsonError {
    std::string message;
    std::string description() const { return message; }
    bool operator==(const CaptureDateJsonError&) const = default;
};
[[nodiscard]] std::expected<CaptureDate, CaptureDateJsonError> captureDateFromJson(std::string_view json);

// Calendar fields on the computer's wall clock.
struct LocalTime {
    std::int64_t year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    auto operator<=>(const LocalTime&) const = default;
};

// A file's creation and modification times on the computer's wall clock, as
// the platform reads them; either is absent when the file system does not say.
struct FileDates {
    std::optional<LocalTime> creation;
    std::optional<LocalTime> modification;
    bool operator==(const FileDates&) const = default;
};

namespace CaptureDateReader {

// "YYYY:MM:DD HH:MM:SS" (extra space-separated words ignored), validated
// against the proleptic Gregorian calendar.
std::optional<CaptureDate> parseExifText(std::string_view text, CaptureDateSource source);

// The first parseable of DateTimeOriginal, DateTimeDigitized, TIFF DateTime.
std::optional<CaptureDate> readRecordedDate(const PropertyDictionary& properties);

// The earlier of the file's creation and modification times (either one
// when only one is known); source fileDate.
std::optional<CaptureDate> readFileDate(const FileDates& file);

}  // namespace CaptureDateReader

// Days in a month of the proleptic Gregorian calendar.
int daysInMonth(std::int64_t year, std::int64_t month);

}  // namespace veltrop::dates
