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

// What tells one content of a file from another without reading it: writing
// to the file changes its size or times, replacing it changes its inode.
struct FileVersion {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modificationNanoseconds = 0;
    std::int64_t statusChangeNanoseconds = 0;  // moves whenever the times are set by hand
    bool operator==(const FileVersion&) const = default;
};

// nullopt when the item cannot be queried.
std::optional<FileVersion> fileVersion(const std::filesystem::path& item);

// Calendar fields of an instant in the computer's current time zone.
std::optional<dates::LocalTime> localTime(std::int64_t secondsSinceEpoch);

// Both times of an item on the wall clock; empty when the item cannot be queried.
dates::FileDates fileDates(const std::filesystem::path& item);

}  // namespace veltrop::platform
