#pragma once
// File-system dates of one item, as seconds since the epoch.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace veltrop::platform {

struct FileTimes {
    std::optional<std::int64_t> creation;      // birth time, where the file system keeps one
    std::optional<std::int64_t> modification;
    bool operator==(const FileTimes&) const = default;
};

// Both times in one query; nullopt when the item cannot be queried.
std::optional<FileTimes> fileTimes(const std::filesystem::path& item);

struct LocalTime {
    std::int64_t year, month, day, hour, minute, second;
};

// Calendar fields of an instant in the computer's current time zone.
std::optional<LocalTime> localTime(std::int64_t secondsSinceEpoch);

}  // namespace veltrop::platform
