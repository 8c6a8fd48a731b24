#pragma once
// File-system dates of one item, as seconds since the epoch.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "kit/dates/capture_date.h"

namespace veltrop::platform {

struct FileTimes {
    std::optional<std::int64_t> creation;      // birth time, where the file system keeps one
    std::optional<std::int64_t> modification;
    bool operator==(const FileTimes&) const = default;
};

// Both times in one query; nullopt when the item cannot be queried.
std::optional<FileTimes> fileTimes(const std::filesystem::path& item);

// Calendar fields of an instant in the computer's current time zone.
std::optional<dates::LocalTime> localTime(std::int64_t secondsSinceEpoch);

// Both times of an item on the wall clock; empty when the item cannot be queried.
dates::FileDates fileDates(const std::filesystem::path& item);

}  // namespace veltrop::platform
