#include "kit/platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

namespace veltrop::platform {

std::optional<FileTimes> fileTimes(const std::filesystem::path& item) {
    struct statx info {};
    if (::statx(AT_FDCWD, item.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return std::nullopt;
    FileTimes times;
    if (info.stx_mask & STATX_BTIME) times.creation = info.stx_btime.tv_sec;
    if (info.stx_mask & STATX_MTIME) times.modification = info.stx_mtime.tv_sec;
    return times;
}

std::optional<FileVersion> fileVersion(const std::filesystem::path& item) {
    struct statx info {};
    constexpr unsigned wanted = STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME;
    if (::statx(AT_FDCWD, item.c_str(), 0, wanted, &info) != 0) return std::nullopt;
    auto nanoseconds = [](const statx_timestamp& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    return FileVersion{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino, info.stx_size,
                       nanoseconds(info.stx_mtime), nanoseconds(info.stx_ctime)};
}

std::optional<dates::LocalTime> localTime(std::int64_t secondsSinceEpoch) {
    const time_t instant = static_cast<time_t>(secondsSinceEpoch);
    struct tm fields {};
    if (::localtime_r(&instant, &fields) == nullptr) return std::nullopt;
    return dates::LocalTime{static_cast<std::int64_t>(fields.tm_year) + 1900, fields.tm_mon + 1, fields.tm_mday,
                     fields.tm_hour, fields.tm_min, fields.tm_sec};
}

dates::FileDates fileDates(const std::filesystem::path& item) {
    const auto times = fileTimes(item);
    if (!times) return {};
    dates::FileDates local;
    if (times->creation) local.creation = localTime(*times->creation);
    if (times->modification) local.modification = localTime(*times->modification);
    return local;
}

}  // namespace veltrop::platform
