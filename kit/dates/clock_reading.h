#pragma once
// What a photo says about the clocks that dated it, beside the recorded
// date: the camera's zone and sub-second, the satellites' UTC time, where it
// was taken, and when the file was last written. Values are kept as read;
// deciding what is a placeholder is the clock check's business.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "kit/dates/capture_date.h"
#include "kit/dates/properties.h"

namespace veltrop::dates {

struct CalendarDay {
    std::int64_t year = 1;
    std::int64_t month = 1;
    std::int64_t day = 1;
    bool operator==(const CalendarDay&) const = default;
};

struct ClockReading {
    std::optional<std::int64_t> offsetSeconds;  // OffsetTimeOriginal: "+02:00" gives 7200
    std::optional<double> subSecond;            // SubSecTimeOriginal as a fraction: "644" gives 0.644
    std::optional<CalendarDay> gpsDay;          // GPSDateStamp, UTC
    std::optional<double> gpsSecondOfDay;       // GPSTimeStamp, UTC, sub-seconds kept
    std::optional<double> longitude;            // degrees, east positive; absent for the 0°, 0° placeholder
    std::optional<CaptureDate> fileModified;    // the file's modification time as local wall-clock fields

    bool operator==(const ClockReading&) const = default;

    // Everything but fileModified, which is not metadata.
    static ClockReading fromProperties(const PropertyDictionary& properties);
};

// "+HH:MM" or "-HH:MM" within −12:00…+14:00, as seconds east of UTC.
std::optional<std::int64_t> parseOffsetText(std::string_view text);

// The file's modification time in the computer's current time zone, source fileDate.
std::optional<CaptureDate> readModificationDate(const FileDates& file);

}  // namespace veltrop::dates
